// Registers the library once for the whole test binary, at a screen of 96
// pixels per inch, and unregisters it at the end (which the sanitizer's
// leak check then sees).
#include "tests/report/ReportTestSupport.h"

namespace {

class ReportEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
    }
    void TearDown() override {
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ReportEnvironment);

}  // namespace
