#include "report/rpRegister.h"

#include "report/rpBorder.h"
#include "report/rpComm.h"
#include "report/rpDisplayFormat.h"
#include "report/rpEnumRegistry.h"
#include "report/rpLanguage.h"
#include "report/rpPage.h"
#include "report/rpRTTI.h"
#include "report/rpRelatv.h"

namespace report {

void registerAll() {
    InitializeLanguage();
    RegisterLibraryEnums();
    RegisterRootAdapters();
    RegisterClass(TrpCommunicator::StaticClassType());
    RegisterRelativeClasses();
    RegisterBorderClasses();
    RegisterPageClasses();
    rpSetDisplayFormatClass(TrpDisplayFormat::Instance());
}

void unregisterAll() {
    rpSetDisplayFormatClass(nullptr);
    UnregisterPageClasses();
    UnregisterBorderClasses();
    UnregisterRelativeClasses();
    UnRegisterClass(TrpCommunicator::StaticClassType());
    UnregisterRootAdapters();
    UnregisterLibraryEnums();
    FinalizeLanguage();
}

}  // namespace report
