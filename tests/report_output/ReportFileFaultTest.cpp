// The report's file writers against a full disk at each write and a kill
// between each of their steps: a PDF, a delimited text file, a page archive
// and a report mailed as an attachment are, after any failure, the old file
// whole or the new one whole, and the next run writes the new one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "report/rpDevice.h"
#include "report/rpExcept.h"
#include "report_output/rpEmail.h"
#include "report_output/rpPDFDevice.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

namespace fs = std::filesystem;
using filefaults::Fault;

const char* const kOld = "relatório da semana passada";

class ReportFileFaults : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        // Pages with texts every device writes: the text file takes the saved ones.
        for (int n = 1; n <= 3; ++n) {
            pages_.emplace_back(filetest::NewPage(n, n == 3));
            for (int row = 0; row < 40; ++row) {
                TrpDrawText* t = filetest::AddText(pages_.back().get(),
                                                   "Nota " + std::to_string(n * 100 + row) + " — São Paulo", 1000,
                                                   1000 + row * 5000);
                t->SetBandSave(true);
                t->SetComponentSave(true);
                t->SetBandSaveNo(row);
                t->SetComponentSaveNo(1);
            }
        }
    }
    // The file path of a device writing target, run as a caller runs it.
    filefaults::FileSavePath DevicePath(std::function<std::unique_ptr<TrpFileDevice>()> Make) {
        filefaults::FileSavePath p;
        p.Prepare = [this] {
            testsupport::WriteAll(target_, kOld);
            error_.clear();
        };
        p.Act = [this, Make] {
            std::unique_ptr<TrpFileDevice> device = Make();
            try {
                device->SetFileName(target_);
                device->StartJob();
                for (const auto& page : pages_) device->ReceivePage(page.get());
                device->EndJob();
            } catch (const Exception& e) {
                error_ = e.Message();
                try {
                    if (device->Busy()) device->CancelJob();
                } catch (const Exception&) {
                }
            }
        };
        p.Files = [this] { return fs::exists(target_) ? testsupport::ReadAll(target_) : std::string("<ausente>"); };
        p.Folders = {dir_.path()};
        p.CheckFailure = [this] { EXPECT_FALSE(error_.empty()) << "a failed write passed for a written file"; };
        return p;
    }
    void Report(const char* Path, const filefaults::FileSweepFigures& F) {
        RecordProperty(std::string(Path) + "_writes", F.writes);
        RecordProperty(std::string(Path) + "_points", F.stops);
        RecordProperty(std::string(Path) + "_runs", GetParam() == Fault::FailedWrite ? F.failed : F.kills);
    }

    // Pins the clock: a PDF carries the moment it was made.
    reporttest::ReportRig clock_;
    testsupport::TempDir dir_;
    std::string target_ = dir_.file("relatorio.out");
    std::string error_;
    std::vector<std::unique_ptr<TrpPage>> pages_;
};

}  // namespace

TEST_P(ReportFileFaults, APdfIsTheOldFileOrTheNewOneWhole) {
    Report("pdf", filefaults::Sweep(GetParam(), DevicePath([] { return std::make_unique<TrpPDFDevice>(nullptr); }), 3));
}

TEST_P(ReportFileFaults, ADelimitedTextFileIsTheOldFileOrTheNewOneWhole) {
    Report("text", filefaults::Sweep(GetParam(), DevicePath([] {
                                         auto d = std::make_unique<TrpTextFileDevice>(nullptr);
                                         d->SetTextFileType(ftComma);
                                         return std::unique_ptr<TrpFileDevice>(std::move(d));
                                     }),
                                     12));
}

TEST_P(ReportFileFaults, APageArchiveIsTheOldFileOrTheNewOneWhole) {
    Report("archive",
           filefaults::Sweep(GetParam(), DevicePath([] { return std::make_unique<TrpArchiveDevice>(nullptr); }), 2));
}

// The attachment a mailed report leaves for the mail client: a failed write
// is told and sends nothing; the file there is the old one or the new one.
TEST_P(ReportFileFaults, AMailedReportsAttachmentIsTheOldFileOrTheNewOneWhole) {
    const fs::path standIn = dir_.path() / "cliente" / "xdg-email";
    fs::create_directories(standIn.parent_path());
    std::ofstream(standIn) << "#!/bin/sh\nexit 0\n";
    fs::permissions(standIn, fs::perms::owner_all);
    TrpSMTPXdgEmail::SetCommand(standIn.string());
    TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPXdgEmail>(); });
    std::vector<std::string> told;
    rpSetUserMessage([&](const std::string& Text) { told.push_back(Text); });

    reporttest::ReportRig rig;
    rig.Report()->CreateDefaultBands();
    rig.Report()->PrinterSetup()->SetDocumentName("Notas");
    for (int i = 0; i < 4; ++i)
        rig.AddText(rig.Report()->DetailBand(), "Texto" + std::to_string(i), 0, i * 6000, 150000, 5000,
                    "Relatório de notas, linha " + std::to_string(i));
    TrpEmailSettings* s = rig.Report()->EmailSettings();
    s->SetShowEmailDialog(false);
    s->SetReportFormat("PDF");
    s->SetFileName((dir_.path() / "Notas").string());
    s->Recipients()->Add("ana@example.com");
    s->SetSubject("Notas");
    const std::string attachment = (dir_.path() / "Notas.pdf").string();
    bool sent = false;
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        testsupport::WriteAll(attachment, kOld);
        told.clear();
    };
    p.Act = [&] {
        TrpEmail email;
        email.AddReport(rig.Report());
        try {
            sent = email.Send();
        } catch (const Exception& e) {
            sent = false;
            told.push_back(e.Message());
        }
    };
    p.Files = [&] { return fs::exists(attachment) ? testsupport::ReadAll(attachment) : std::string("<ausente>"); };
    p.Folders = {dir_.path()};
    p.CheckFailure = [&] {
        EXPECT_FALSE(sent) << "mailed with a file that was not written";
        EXPECT_FALSE(told.empty());
    };
    Report("email", filefaults::Sweep(GetParam(), p, 3));
    rpSetUserMessage(nullptr);
    TrpSMTPXdgEmail::SetCommand("");
}

INSTANTIATE_TEST_SUITE_P(Faults, ReportFileFaults, filefaults::BothFaults(), filefaults::FaultName);
