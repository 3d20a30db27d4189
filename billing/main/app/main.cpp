// The billing program: the data module, then the main window, then the
// message loop.
#include <string>
#include <vector>

#include <QApplication>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/listings/ReportLibrary.h"
#include "billing/main/uoskerun.h"
#include "platform/gfx/Pictures.h"
#include "platform/ui/Forms.h"
#include "preview/rpViewer.h"
#include "report/rpGeneration.h"

int main(int argc, char** argv) {
    ui::StartApplication(argc, argv);
    Application->Initialize();
    gfx::RegisterPictureFormats();
    billing::forms::InstallUiMessages();
    // Reports measure on the screen and let the window breathe while they
    // generate. The report library, its outputs and the preview register
    // when a listing first asks for them: the login needs none of them.
    rpUseScreenResolution();
    rpInstallApplicationMessagePump();
    std::vector<std::string> args(argv + 1, argv + argc);
    TfrmOske_Nf::SetCommandLine(billing::data::AppFiles::CurrentExecutable(), args);
    dmdb = new Tdmdb(Application);
    dmdb->AskWhileWaiting();
    Application->CreateForm(frmOske_Nf);
    Application->Run();
    billing::listings::ReleaseReportLibrary();
    return 0;
}
