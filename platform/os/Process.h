#pragma once
// Outside programs: starting them detached from this one and finding out
// whether one is running. The NF-e monitor, the DANFE printer, the browser,
// the calculator and the support program all go through here.
#include <string>
#include <vector>

namespace os {

// True when a live process runs the program (a path or a bare name): the
// name is compared with each process's program, its first argument when the
// program is an interpreter running a script, and its short command name.
bool IsProgramRunning(const std::string& program);

// Starts a program detached from this one (its own session, no wait, standard
// streams on /dev/null), with `folder` as working folder when not empty. A
// bare name is looked up on PATH. False with `error` set, in Portuguese,
// when it cannot start ("O programa \"x\" não foi encontrado neste computador.").
bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                  const std::string& folder = {}, std::string* error = nullptr);

// Starts a program detached, as StartProgram does, and waits up to `waitMs`
// for it to give up: a program that ends within that time with a failure
// (the desktop's opener finding no browser) gives false, with `error`
// holding what it wrote on its error output. One still running then, or
// ended well, gives true. For openers that hand their work to another
// program and say so by their exit code.
bool StartProgramChecked(const std::string& program, const std::vector<std::string>& args, int waitMs,
                         std::string* error = nullptr);

// The full path of a program: a name with a "/" is taken as it is (when it
// names an executable file); a bare name is looked up on PATH as a shell
// would. "" when there is no such executable file.
std::string FindProgram(const std::string& program);

}  // namespace os
