// Registers the report library and its controls once for the whole test
// binary, at a screen of 96 pixels per inch, and unregisters them at the end.
#include "report_output/rpOutputRegister.h"
#include "tests/report/ReportTestSupport.h"

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
