#include "platform/os/SharedLibrary.h"

#include <dlfcn.h>

namespace os {

SharedLibrary::SharedLibrary(std::initializer_list<const char*> Names, std::string What) : what_(std::move(What)) {
    std::string tried;
    for (const char* name : Names) {
        handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            name_ = name;
            return;
        }
        if (!tried.empty()) tried += ", ";
        tried += name;
    }
    error_ = "A biblioteca do sistema necessária para " + what_ + " (" + tried +
             ") não está instalada ou não pôde ser carregada.";
}

void* SharedLibrary::Symbol(const char* Name) {
    if (handle_ == nullptr) return nullptr;
    void* p = dlsym(handle_, Name);
    if (p == nullptr && error_.empty())
        error_ = "A biblioteca " + name_ + ", necessária para " + what_ + ", é antiga demais: falta a função " +
                 Name + ".";
    return p;
}

}  // namespace os
