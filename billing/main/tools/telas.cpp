// Pictures of the program's windows for its documentation: starts the
// program on a fresh database in the given folder, saves the login window
// (filled with the built-in user), the main window after the login and the
// main window with the users register open. The folder is made when missing;
// the exit code is 0 when the three pictures were written, 1 otherwise.
//   faturamento-telas <folder>  ->  <folder>/login.png, principal.png, usuarios.png
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Nota220.h"
#include "billing/main/tools/StartInFolder.h"
#include "billing/main/uoskerun.h"
#include "platform/ui/Forms.h"

namespace {

bool Save(QWidget* w, const std::string& path) {
    QApplication::processEvents();
    bool ok = w->window()->grab().save(QString::fromStdString(path), "PNG");
    if (ok) std::printf("gravado %s\n", path.c_str());
    else std::fprintf(stderr, "FALHOU: não foi possível gravar %s\n", path.c_str());
    return ok;
}

// Runs f once the windows shown meanwhile have settled.
template <class F>
void Then(F f) {
    QTimer::singleShot(300, qApp, f);
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    if (int code = billing::tools::StartInFolder(argc, argv, out)) return code;
    int saved = 0;
    // Each picture is taken once the step before it has finished: the login
    // filled in, the main window after the login, then the users register.
    frmOske_Nf->ShowLogin = [&] {
        TfrmNota220 login(nullptr);
        Then([&] {
            login.dbeId_Usuario->SetText("Admin");
            login.dbeSenha->SetText("truve");
            saved += Save(login.Widget(), out + "/login.png");
            login.btnOkClick(nullptr);
        });
        TModalResult result = login.ShowModal();
        if (result != mrOk) {
            std::fprintf(stderr, "FALHOU: o login não foi aceito\n");
            return result;
        }
        Then([&] {
            saved += Save(frmOske_Nf->Widget(), out + "/principal.png");
            frmOske_Nf->Usurios1Click(nullptr);
            Then([&] {
                saved += Save(frmOske_Nf->Widget(), out + "/usuarios.png");
                Application->Terminate();
            });
        });
        return result;
    };
    Application->Run();
    return saved == 3 ? 0 : 1;
}
