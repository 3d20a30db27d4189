#include "billing/nfe/Monitor.h"

#include <chrono>
#include <thread>

namespace billing::nfe {

const char* const MsgMonitorNaoInstalado =
    "Atenção ! O Monitor de Nota Fiscal Eletrônica não está instalado.\n"
    "Os processos de Envio e Recebimento junto a SEFAZ não funcionarão.";
const char* const MsgMonitorAtivado = "O Monitor de Nota Fiscal Eletrônica foi Ativado Automaticamente.";
const char* const MsgMonitorNaoIniciou =
    "O Monitor de Nota Fiscal Eletrônica foi iniciado, mas não entrou em execução.\n"
    "Os processos de Envio e Recebimento junto a SEFAZ não funcionarão.";

bool Verifica_Monitor_NFE(const NFeConfig& config) {
    const MonitorPrograms& p = config.programs;
    if (!p.monitor.empty() && IsProgramRunning(p.monitor)) return true;
    std::string program = os::FindProgram(p.monitor);
    if (program.empty()) {
        config.Notify(MsgMonitorNaoInstalado, "Atenção");
        return false;
    }
    std::string folder = program.substr(0, program.find_last_of('/') + 1);
    if (!StartProgram(program, {}, folder)) {
        config.Notify(MsgMonitorNaoIniciou, "Atenção");
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(p.start_timeout_ms);
    int step = p.poll_interval_ms > 0 ? p.poll_interval_ms : 100;
    for (;;) {
        if (IsProgramRunning(p.monitor)) {
            // A monitor that dies as it starts (a broken installation) is
            // seen for an instant: it counts as running only when it is
            // still there one poll later.
            std::this_thread::sleep_for(std::chrono::milliseconds(step));
            if (IsProgramRunning(p.monitor)) {
                config.Notify(MsgMonitorAtivado, "Correção Falha");
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (config.process_messages) config.process_messages();
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
    }
    config.Notify(MsgMonitorNaoIniciou, "Atenção");
    return false;
}

}  // namespace billing::nfe
