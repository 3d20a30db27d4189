// Pictures of the program's windows for its documentation: starts the
// program on a fresh database in the given folder, saves the login window
// (filled with the built-in user), the main window after the login and the
// main window with the users register open.
//   faturamento-telas <folder>  ->  <folder>/login.png, principal.png, usuarios.png
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Nota220.h"
#include "billing/main/uoskerun.h"
#include "platform/ui/Forms.h"

namespace {

bool Save(QWidget* w, const std::string& path) {
    QApplication::processEvents();
    bool ok = w->window()->grab().save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", ok ? "gravado" : "FALHOU", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <pasta de saída>\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    ui::StartApplication(argc, argv);
    Application->Initialize();
    billing::forms::InstallUiMessages();
    TfrmOske_Nf::SetCommandLine(out + "/faturamento", {});
    dmdb = new Tdmdb(Application);
    Application->CreateForm(frmOske_Nf);
    bool ok = true;
    frmOske_Nf->ShowLogin = [&] {
        TfrmNota220 login(nullptr);
        QTimer::singleShot(500, qApp, [&] {
            login.dbeId_Usuario->SetText("Admin");
            login.dbeSenha->SetText("truve");
            ok = Save(login.Widget(), out + "/login.png") && ok;
            login.btnOkClick(nullptr);
        });
        return login.ShowModal();
    };
    QTimer::singleShot(2500, qApp, [&] {
        ok = Save(frmOske_Nf->Widget(), out + "/principal.png") && ok;
        frmOske_Nf->Usurios1Click(nullptr);
        QTimer::singleShot(1000, qApp, [&] {
            ok = Save(frmOske_Nf->Widget(), out + "/usuarios.png") && ok;
            Application->Terminate();
        });
    });
    Application->Run();
    return ok ? 0 : 1;
}
