// Registers the report library and its output side once for the whole test
// binary, at a screen of 96 pixels per inch, as the program does at start-up.
#include <gtest/gtest.h>

#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"

namespace {

class OutputEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
        report_output::registerAll();
    }
    void TearDown() override {
        report_output::unregisterAll();
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new OutputEnvironment);

}  // namespace
