// The stand-in monitor's answers are what the tax authority's layout allows:
// every kind, on one line and pretty-printed, validates against the PL_005f
// return schemas.
#include <gtest/gtest.h>

#include <filesystem>

#include "billing/nfe/ChaveNFe.h"
#include "tests/billing/nfe/SchemaCheck.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"
#include "tests/support/TestSupport.h"

using nfetest::FakeMonitor;

TEST(FakeMonitorAnswers, ValidAgainstTheReturnSchemas) {
    NFE_REQUIRE_SCHEMAS();
    testsupport::TempDir dir;
    std::string key = billing::nfe::MontarChaveNFe("41", EncodeDate(2010, 6, 15), "12345678000195", 1, 123, 42);
    std::string other = billing::nfe::MontarChaveNFe("41", EncodeDate(2010, 6, 15), "12345678000195", 1, 124, 43);
    for (bool pretty : {false, true}) {
        FakeMonitor m({dir.file("e"), dir.file("r"), dir.file("a")});
        m.SetPretty(pretty);
        const std::vector<std::pair<std::string, std::string>> answers = {
            {"retEnviNFe_v1.10.xsd", m.RetEnviNFe("2", "41", "411000000000001")},
            {"retConsReciNFe_v1.10.xsd",
             m.RetConsReciNFe("2", "41", "411000000000001", "104",
                              {{key, "100", FakeMonitor::Reason("100"), "141000000000001"},
                               {other, "539", FakeMonitor::Reason("539"), ""}})},
            {"retConsReciNFe_v1.10.xsd", m.RetConsReciNFe("1", "41", "411000000000001", "105", {})},
            {"retConsStatServ_v1.07.xsd", m.RetConsStatServ("2", "41")},
            {"retConsSitNFe_v1.07.xsd", m.RetConsSitNFe("2", key, "141000000000001")},
            {"retConsSitNFe_v1.07.xsd", m.RetConsSitNFe("2", key, "")},
            {"retCancNFe_v1.07.xsd", m.RetCancNFe("2", key, "101", "141000000000002")},
            {"retCancNFe_v1.07.xsd", m.RetCancNFe("2", key, "220", "")},
        };
        int n = 0;
        for (const auto& [xsd, text] : answers) {
            std::string file = dir.file("answer" + std::to_string(n++) + (pretty ? "-pretty" : "") + ".xml");
            testsupport::WriteAll(file, text);
            EXPECT_EQ(text.find('\n') != std::string::npos, pretty) << text;
            nfetest::CheckResult r = nfetest::ValidateFile(file, xsd);
            EXPECT_TRUE(r.ok) << xsd << "\n" << r.output << "\n" << text;
        }
    }
}
