#pragma once
// The report component class registry: every control a layout may name is
// registered here with its palette page, position and caption, and with the
// class library's class registry so that streams naming it load. Callers go
// through rpRegisterComponent / rpUnregisterComponent, which call the
// procedures this unit installs at start-up (InstallComponentRegistry). The
// report library registers its own controls; the output library registers
// the controls it defines from its own start-up, so this library never names
// them.
//
// An entry is keyed by class name: registering a class again replaces its
// entry. The list and its entries belong to this unit and are freed at
// shut-down. All operations take one lock, so background generation may
// look classes up while the program registers.
#include <string>

#include "platform/rtl/TypInfo.h"
#include "report/rpUtils.h"

class TrpRegComponent : public TObject {
public:
    FAT_CLASS_NAME(TrpRegComponent)
    int32_t Reserved = 0;
    TClass ComponentClass = nullptr;
    int32_t Position = 0;
    std::string PageName;
    std::string Caption;       // used when LanguageText is 0
    int32_t LanguageText = 0;  // number of the text naming the control
};

using TrpRegisterComponentProc = void (*)(TClass ComponentClass, const std::string& PageName, int32_t Position,
                                          int32_t Reserved, const std::string& Caption, int32_t LanguageText);
using TrpUnregisterComponentProc = void (*)(TClass ComponentClass);

// The installed procedures; nullptr when none is installed.
void rpSetComponentProcs(TrpRegisterComponentProc Register, TrpUnregisterComponentProc Unregister);

// Raise EComponentError ("Unable to register component classes." /
// "Unable to unregister component classes.") when no procedure is installed.
void rpRegisterComponent(TClass ComponentClass, const std::string& PageName, int32_t Position, int32_t Reserved,
                         const std::string& Caption, int32_t LanguageText);
void rpUnregisterComponent(TClass ComponentClass);

// The procedures this unit installs.
void RegisterComponentClass(TClass ComponentClass, const std::string& PageName, int32_t Position, int32_t Reserved,
                            const std::string& Caption, int32_t LanguageText);
void UnregisterComponentClass(TClass ComponentClass);

// The registered entries in order of registration (copies, so that the
// caller holds no pointer into the registry); empty before start-up.
std::vector<TrpRegComponent> rpRegisteredComponents();
// The entry of a class name (case-insensitive); false when none.
bool rpFindRegisteredComponent(const std::string& ClassName, TrpRegComponent& Entry);

namespace report {
// Installs / clears the procedures; clearing frees every entry and the list.
void InstallComponentRegistry();
void UninstallComponentRegistry();
}  // namespace report
