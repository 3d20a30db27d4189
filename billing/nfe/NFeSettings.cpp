#include "billing/nfe/NFeSettings.h"

#include "billing/data/Messages.h"
#include "billing/data/dmdbu.h"
#include "platform/os/Process.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}

std::string ProgramPath(Tdmdb& dm, const char* key, const char* fallback) {
    std::string written = Trim(dm.IniValue(kIniSectionNFe, key, fallback));
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
    config.programs.monitor = ProgramPath(dm, kIniKeyMonitor, kDefaultMonitor);
    config.programs.danfe = ProgramPath(dm, kIniKeyDanfe, kDefaultDanfe);
    config.notify = [](const std::string& text, const std::string& caption) {
        billing::data::Messages().MessageBox(text, caption, billing::data::MessageIcon::Exclamation);
    };
    config.process_messages = Pump();
    return config;
}

bool Verifica_Monitor_NFE(Tdmdb& dm) { return Verifica_Monitor_NFE(Config_NFe(dm)); }

}  // namespace billing::nfe
