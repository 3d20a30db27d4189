// Shows the sample client form in the middle of an edit and saves a picture
// of the window: ui_demo <picture.png> [folder for the database]
// Missing folders are made; the exit code is 0 when the picture was written.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include <QPixmap>
#include <QWidget>

#include "platform/ui/Forms.h"
#include "tests/platform/ui/SampleForm.h"

namespace {

// Makes the folder a file goes into; false (and says why) when it cannot.
bool MakeFolderFor(const std::filesystem::path& folder) {
    if (folder.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) std::fprintf(stderr, "não foi possível criar a pasta %s: %s\n", folder.c_str(), ec.message().c_str());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: ui_demo <imagem.png> [pasta]\n");
        return 2;
    }
    const std::filesystem::path picturePath = std::filesystem::path(argv[1]);
    const std::filesystem::path folder =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    if (!MakeFolderFor(picturePath.parent_path()) || !MakeFolderFor(folder)) return 1;
    ui::StartApplication(argc, argv);
    const std::filesystem::path db = folder / "ui_demo_clientes.db";
    bool saved = false;
    try {
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
        saved = picture.save(QString::fromStdString(picturePath.string()), "PNG");
        delete form;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    std::error_code ec;
    std::filesystem::remove(db, ec);
    if (!saved) {
        std::fprintf(stderr, "não foi possível gravar %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
