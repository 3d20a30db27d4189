// Shows the sample client form in the middle of an edit and saves a picture
// of the window: ui_demo <picture.png> [folder for the database]
#include <cstdio>
#include <filesystem>
#include <string>

#include <QPixmap>
#include <QWidget>

#include "platform/ui/Forms.h"
#include "tests/platform/ui/SampleForm.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: ui_demo <imagem.png> [pasta]\n");
        return 2;
    }
    ui::StartApplication(argc, argv);
    std::filesystem::path folder = argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    std::filesystem::path db = folder / "ui_demo_clientes.db";
    std::filesystem::remove(db);
    sample::CreateDatabase(db.string());

    auto* form = new sample::ClientForm(Application, db.string());
    form->SetPosition(poScreenCenter);
    form->Show();
    // An edit in progress, so the picture shows the edit state too.
    form->qryCliente->Edit();
    form->dbeNome->SetFocus();
    for (int i = 0; i < 20; ++i) Application->ProcessMessages();
    QPixmap picture = form->Widget()->grab();
    bool saved = picture.save(QString::fromLocal8Bit(argv[1]), "PNG");
    delete form;
    std::filesystem::remove(db);
    if (!saved) {
        std::fprintf(stderr, "não foi possível gravar %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}

// Fontconfig and D-Bus keep their state for the life of the process; the
// leak checker of a sanitized build would report it at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }
