#include "billing/nfe/NFeSettings.h"

#include "billing/data/Messages.h"
#include "billing/data/dmdbu.h"
#include "platform/os/Process.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}

std::string ProgramPath(std::string written, const char* fallback) {
    written = Trim(written);
    if (written.empty()) written = fallback;
    std::string found = os::FindProgram(written);
    return found.empty() ? written : found;
}

}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

NFeConfig Config_NFe(Tdmdb& dm) {
    NFeConfig config;
    config.pasta_nfe_envio = dm.Get_Var("pasta_nfe_envio");
    config.pasta_nfe_retorno = dm.Get_Var("pasta_nfe_retorno");
    config.pasta_nfe_arquivamento = dm.Get_Var("pasta_nfe_arquivamento");
    config.pasta_nfe_erro = dm.Get_Var("pasta_nfe_erro");
    config.ambiente = dm.Get_Var("ambiente");
    // Both defaults of a new file go in together.
    std::vector<std::string> programs =
        dm.IniValues(kIniSectionNFe, {{kIniKeyMonitor, kDefaultMonitor}, {kIniKeyDanfe, kDefaultDanfe}});
    config.programs.monitor = ProgramPath(programs[0], kDefaultMonitor);
    config.programs.danfe = ProgramPath(programs[1], kDefaultDanfe);
    config.settings_problem = dm.IniReadProblem();
    // Read only, never written: few users need to change it.
    int seconds = kDefaultCancelWaitSeconds;
    if (dm.VarExists("nome_arquivo_ini")) config.settings_file = dm.Get_Var("nome_arquivo_ini");
    if (dm.VarExists("nome_arquivo_ini")) {
        try {
            seconds = StrToIntDef(Trim(TIniFile(dm.Get_Var("nome_arquivo_ini"))
                                           .ReadString(kIniSectionNFe, kIniKeyCancelWait, "")),
                                  kDefaultCancelWaitSeconds);
        } catch (const Exception&) {
            // An INI file that cannot be read keeps the default.
        }
    }
    config.cancel_wait_ms = (seconds > 0 && seconds <= 3600 ? seconds : kDefaultCancelWaitSeconds) * 1000;
    config.notify = [](const std::string& text, const std::string& caption) {
        billing::data::Messages().MessageBox(text, caption, billing::data::NoticeIcon(caption));
    };
    config.process_messages = Pump();
    return config;
}

bool Verifica_Monitor_NFE(Tdmdb& dm) { return Verifica_Monitor_NFE(Config_NFe(dm)); }

}  // namespace billing::nfe
