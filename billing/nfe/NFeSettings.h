#pragma once
// The NF-e configuration the running program works with, built in this one
// place: the folders and the environment from the variable store (which the
// database's settings fill when it opens), the monitor's and the DANFE
// printer's programs from the INI file's section "NFe", message boxes through
// the data module's message service. Every routine of the program that needs
// an NFeConfig takes it from here when it runs, so a changed setting counts
// at once.
#include <functional>
#include <string>

#include "billing/nfe/Monitor.h"

class Tdmdb;

namespace billing::nfe {

inline constexpr const char* kIniSectionNFe = "NFe";
inline constexpr const char* kIniKeyMonitor = "Monitor";
inline constexpr const char* kIniKeyDanfe = "Danfe";
// Seconds the cancellation waits for the monitor's answer.
inline constexpr const char* kIniKeyCancelWait = "EsperaCancelamento";
inline constexpr int kDefaultCancelWaitSeconds = 120;
// What a new INI file gets: names looked up on PATH. The user may write a
// full path instead.
inline constexpr const char* kDefaultMonitor = "uninfe";
inline constexpr const char* kDefaultDanfe = "unidanfe";

// The configuration: pasta_nfe_envio, pasta_nfe_retorno,
// pasta_nfe_arquivamento, pasta_nfe_erro and ambiente from `Get_Var`; the
// programs from the INI keys "Monitor" and "Danfe" of section "NFe", which
// are written with their defaults when absent. A bare name is resolved on
// PATH; one that is not found there stays as written, so that the monitor
// check tells the user it is not installed. The cancellation's wait comes
// from the key "EsperaCancelamento" in seconds (1 to 3600, else 120), which
// is read only: a new INI file does not get it.
NFeConfig Config_NFe(Tdmdb& dm);

// What keeps the windows responsive while a routine waits for the monitor;
// the window layer installs it at start-up (none: the waits just wait).
void SetMessagePump(std::function<void()> pump);

// The monitor check as the program runs it, with the monitor's program from
// Config_NFe.
bool Verifica_Monitor_NFE(Tdmdb& dm);

}  // namespace billing::nfe
