#pragma once
// A system library opened when the program first needs it, not at start-up.
// Libraries such as libcurl and libcups bring dozens of others with them
// (TLS, Kerberos, LDAP, Avahi): linked into the program they cost every
// start several milliseconds and megabytes, though only printing, e-mail
// and downloads use them. The library stays open until the program ends.
#include <initializer_list>
#include <string>

#include "platform/rtl/SysUtils.h"

namespace os {

class SharedLibrary {
public:
    // Opens the first of Names that the system has. What names the
    // library's purpose in the error message ("a impressão").
    SharedLibrary(std::initializer_list<const char*> Names, std::string What);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr && error_.empty(); }
    // In Portuguese, for the user; empty while everything was found.
    const std::string& Error() const { return error_; }

    // Points Fn at the library's function Name; a missing one (an older
    // library) makes the library unusable and is named in Error().
    template <class F>
    void Bind(F& Fn, const char* Name) {
        Fn = reinterpret_cast<F>(Symbol(Name));
    }

private:
    void* Symbol(const char* Name);

    void* handle_ = nullptr;
    std::string name_;
    std::string what_;
    std::string error_;
};

// The functions of a library, bound once by Functions' constructor into its
// `library` member and kept for the program's life; the library's error, in
// Portuguese, whenever the system lacks it or one of the functions.
template <class Functions>
const Functions& OpenOnce() {
    static Functions functions;
    if (!functions.library.Loaded()) throw Exception(functions.library.Error());
    return functions;
}

}  // namespace os
