// The billing program: the data module, then the main window, then the
// message loop.
#include <string>
#include <vector>

#include <QApplication>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/main/uoskerun.h"
#include "platform/gfx/Pictures.h"
#include "platform/ui/Forms.h"
#include "preview/rpPreviewRegister.h"
#include "preview/rpViewer.h"
#include "report/rpGeneration.h"
#include "report/rpRegister.h"
#include "report_output/rpOutputRegister.h"

int main(int argc, char** argv) {
    ui::StartApplication(argc, argv);
    Application->Initialize();
    gfx::RegisterPictureFormats();
    billing::forms::InstallUiMessages();
    // The report library, its controls and devices, then the preview and
    // its dialogs; a report lets the window breathe while it generates.
    rpUseScreenResolution();
    report::registerAll();
    report_output::registerAll();
    preview::registerAll();
    rpInstallApplicationMessagePump();
    std::vector<std::string> args(argv + 1, argv + argc);
    TfrmOske_Nf::SetCommandLine(billing::data::AppFiles::CurrentExecutable(), args);
    dmdb = new Tdmdb(Application);
    Application->CreateForm(frmOske_Nf);
    Application->Run();
    preview::unregisterAll();
    report_output::unregisterAll();
    report::unregisterAll();
    return 0;
}
