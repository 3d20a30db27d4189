// What the picture tools share: the program started on the folder named by
// the first argument, as its own folder (its INI, its database and the
// pictures go there), up to the main window made and not yet shown.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/main/uoskerun.h"
#include "platform/ui/Forms.h"

namespace billing::tools {

// Returns 0 with out set to the folder, or the exit code to end with. argc
// is the one main was given: the application keeps a reference to it.
inline int StartInFolder(int& argc, char** argv, std::string& out) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <pasta de saída>\n", argv[0]);
        return 2;
    }
    out = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "não foi possível criar a pasta %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }
    ::ui::StartApplication(argc, argv);
    Application->Initialize();
    billing::forms::InstallUiMessages();
    TfrmOske_Nf::SetCommandLine(out + "/faturamento", {});
    dmdb = new Tdmdb(Application);
    Application->CreateForm(frmOske_Nf);
    return 0;
}

}  // namespace billing::tools
