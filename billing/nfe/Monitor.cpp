#include "billing/nfe/Monitor.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace billing::nfe {

const char* const MsgMonitorNaoInstalado =
    "Atenção ! O Monitor de Nota Fiscal Eletrônica não está instalado.\n"
    "Os processos de Envio e Recebimento junto a SEFAZ não funcionarão.";
const char* const MsgMonitorAtivado = "O Monitor de Nota Fiscal Eletrônica foi Ativado Automaticamente.";
const char* const MsgMonitorNaoIniciou =
    "O Monitor de Nota Fiscal Eletrônica foi iniciado, mas não entrou em execução.\n"
    "Os processos de Envio e Recebimento junto a SEFAZ não funcionarão.";

namespace {

// Starts made by this process and not yet seen running, by program.
struct PendingStart {
    std::chrono::steady_clock::time_point at;
    bool failed = false;
};

std::map<std::string, PendingStart>& Starts() {
    static auto* starts = new std::map<std::string, PendingStart>;
    return *starts;
}

// Recursive: a message box shown by a check runs the event loop, whose
// timers may check again.
std::recursive_mutex& StartsMutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}

// Seen now and still there one poll later: a monitor that dies as it starts
// (a broken installation) is seen for an instant only.
bool RunsSteadily(const MonitorPrograms& p, int step) {
    if (!IsProgramRunning(p.monitor)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return IsProgramRunning(p.monitor);
}

}  // namespace

bool Verifica_Monitor_NFE(const NFeConfig& config) {
    const MonitorPrograms& p = config.programs;
    std::unique_lock<std::recursive_mutex> lock(StartsMutex());
    auto& starts = Starts();
    if (!p.monitor.empty() && IsProgramRunning(p.monitor)) {
        auto it = starts.find(p.monitor);
        if (it != starts.end()) {
            bool started = !it->second.failed;
            starts.erase(it);
            if (started) config.Notify(MsgMonitorAtivado, "Correção Falha");
        }
        return true;
    }
    std::string program = os::FindProgram(p.monitor);
    if (program.empty()) {
        starts.erase(p.monitor);
        config.Notify(MsgMonitorNaoInstalado, "Atenção");
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto timeout = std::chrono::milliseconds(std::max(0, p.start_timeout_ms));
    if (auto it = starts.find(p.monitor); it != starts.end()) {
        if (!it->second.failed && now - it->second.at < timeout) return false;  // still starting
        it->second.failed = true;
        config.Notify(MsgMonitorNaoIniciou, "Atenção");
        return false;
    }
    std::string folder = program.substr(0, program.find_last_of('/') + 1);
    if (!StartProgram(program, {}, folder)) {
        config.Notify(MsgMonitorNaoIniciou, "Atenção");
        return false;
    }
    starts[p.monitor] = PendingStart{now, false};
    const int step = p.poll_interval_ms > 0 ? p.poll_interval_ms : 100;
    const auto grace = std::chrono::milliseconds(std::max(0, std::min(p.start_grace_ms, p.start_timeout_ms)));
    const auto deadline = now + grace;
    for (;;) {
        if (RunsSteadily(p, step)) {
            starts.erase(p.monitor);
            lock.unlock();
            config.Notify(MsgMonitorAtivado, "Correção Falha");
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (config.process_messages) {
            // Windows stay responsive meanwhile; a check they run finds the
            // start pending and returns at once.
            lock.unlock();
            config.process_messages();
            lock.lock();
            // One of them found it running (and said so) meanwhile.
            if (starts.find(p.monitor) == starts.end()) return IsProgramRunning(p.monitor);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
    }
    if (grace < timeout) return false;  // a later check looks again
    starts[p.monitor].failed = true;
    lock.unlock();
    config.Notify(MsgMonitorNaoIniciou, "Atenção");
    return false;
}

}  // namespace billing::nfe
