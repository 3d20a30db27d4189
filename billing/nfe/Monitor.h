#pragma once
#include "platform/os/Process.h"
// The outside NF-e monitor program and its DANFE printer. The system writes
// request files into the send folder and reads the monitor's answers from the
// return folder; this header holds what it needs to find and start the
// monitor and where the folders are.
#include <functional>
#include <string>
#include <vector>

namespace billing::nfe {

// A message box of the NF-e routines: text and caption (exclamation icon).
// The window layer installs one that shows it; unset, messages are dropped.
using Notifier = std::function<void(const std::string& text, const std::string& caption)>;

struct MonitorPrograms {
    // The monitor and its DANFE printer: full paths, or names looked up on
    // PATH (Config_NFe, NFeSettings.h, fills them from the INI file).
    std::string monitor;
    std::string danfe;
    // The monitor's last-batch file; empty means "uninfelote.xml" in the
    // monitor program's folder.
    std::string lote_file;
    // How long a started monitor may take to show up among the processes
    // before its start counts as failed.
    int start_timeout_ms = 15000;
    // How long a check waits for it at most (windows kept responsive through
    // process_messages); a slower start is looked for again by the next check.
    int start_grace_ms = 1000;
    int poll_interval_ms = 100;
};

// Everything the NF-e routines take from the settings and the variable store.
struct NFeConfig {
    std::string pasta_nfe_envio;
    std::string pasta_nfe_retorno;
    std::string pasta_nfe_arquivamento;
    std::string pasta_nfe_erro;
    // "1 - Produção" or "2 - Homologação"; its first character is tpAmb.
    std::string ambiente;
    // The INI file that names the monitor's program (where the user sets it).
    std::string settings_file;
    // Why that file could not be read at this reading ("" when it could);
    // the values last read from it were kept.
    std::string settings_problem;
    MonitorPrograms programs;
    Notifier notify;
    // Called while waiting for an answer so that windows stay responsive.
    std::function<void()> process_messages;
    // One wait step for an answer of the monitor.
    int answer_wait_ms = 2000;
    // How long the cancellation waits for its answer before giving up.
    int cancel_wait_ms = 120000;

    void Notify(const std::string& text, const std::string& caption) const {
        if (notify) notify(text, caption);
    }
};

// The process routines live in platform/os; these names stay for callers here.
using os::IsProgramRunning;
using os::StartProgram;

// True when the monitor runs when the routine returns. Not running and not
// installed: tells the user and returns false. Installed: starts it and waits
// for it at most start_grace_ms; when it shows up, tells the user it was
// started and returns true. A start still under way returns false quietly,
// and is not repeated: a later check finds the monitor running (and tells
// the user then) or, once start_timeout_ms have passed since the start, tells
// the user it never ran; such a start is not tried again in this process.
bool Verifica_Monitor_NFE(const NFeConfig& config);

extern const char* const MsgMonitorNaoInstalado;
extern const char* const MsgMonitorAtivado;
extern const char* const MsgMonitorNaoIniciou;

}  // namespace billing::nfe
