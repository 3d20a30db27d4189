#pragma once
// The DANFE of an authorised NF-e, printed by the monitor's DANFE printer:
// the system finds the archived NF-e file (archive folder, month folder
// "yyyymm" of the emission, key + "-nfe.xml"; a contingency invoice's file
// may still be in the error folder) and hands it to the printer program on
// its command line. The arguments are passed as they are, each one word of
// argv, so a printer or folder name with blanks needs no quoting.
#include <optional>
#include <string>
#include <vector>

#include "billing/nfe/Monitor.h"

class TSQLConnection;

namespace billing::nfe {

struct DanfeCommand {
    std::string program;             // the DANFE printer, as found
    std::vector<std::string> args;   // arquivo=, visualizar=, Copias=, Impressora=
};

// The command that prints the DANFE of `chave`, with `visualizar` 1 (preview
// first) or 0. Refused (the invoice is missing, not yet transmitted, not
// authorised and no contingency, its file or the printer program missing):
// tells the user through config.Notify and returns nullopt. Settings: the
// printer "impressora_danfe" ("padrao", the printer program's default, when
// there is no settings row or the name is blank) and "copias_danfe" (at least 1).
std::optional<DanfeCommand> Imprimir_Danfe(TSQLConnection& db, const NFeConfig& config, const std::string& chave,
                                           int visualizar);

// Starts the printer without waiting; false after telling the user when it
// cannot start.
bool IniciarDanfe(const NFeConfig& config, const DanfeCommand& command);

}  // namespace billing::nfe
