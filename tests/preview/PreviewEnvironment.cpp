// Registers the report, output and preview libraries once for the whole
// test binary, at a screen of 96 pixels per inch, and unregisters them at
// the end (which the sanitizer's leak check then sees).
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/Forms.h"
#include "preview/rpPreviewRegister.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"

namespace {

class PreviewEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ui::EnsureQtApplication();
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
        report_output::registerAll();
        preview::registerAll();
    }
    void TearDown() override {
        preview::unregisterAll();
        report_output::unregisterAll();
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new PreviewEnvironment);

}  // namespace
