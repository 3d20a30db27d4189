#include "report/rpRegister.h"

#include <iterator>

#include "report/rpBandRTTI.h"
#include "report/rpBorder.h"
#include "report/rpComm.h"
#include "report/rpDBPipeline.h"
#include "report/rpDisplayFormat.h"
#include "report/rpGroup.h"
#include "report/rpEnumRegistry.h"
#include "report/rpLanguage.h"
#include "report/rpMemo.h"
#include "report/rpModelRTTI.h"
#include "report/rpModel.h"
#include "report/rpPage.h"
#include "report/rpPageBreak.h"
#include "report/rpParameters.h"
#include "report/rpRTTI.h"
#include "report/rpRegComponents.h"
#include "report/rpRegion.h"
#include "report/rpRelatv.h"
#include "report/rpSettings.h"
#include "report/rpStretchRTTI.h"
#include "report/rpSubReport.h"
#include "report/rpTemplate.h"
#include "report/rpTreeNodes.h"

namespace report {

namespace {

// The report library's own controls on the palette; the output library
// registers the controls it defines.
struct OwnComponent {
    TClass (*Class)();
    const char* Page;
    int32_t Position;
    int32_t LanguageText;
};
const OwnComponent kOwnComponents[] = {
    {&TrpMemo::StaticClassType, "Standard Components", 1, 175},
    {&TrpDBMemo::StaticClassType, "Data Components", 1, 166},
    {&TrpRegion::StaticClassType, "Advanced Components", 0, 368},
    {&TrpSubReport::StaticClassType, "Advanced Components", 1, 369},
    {&TrpPageBreak::StaticClassType, "Advanced Components", 2, 1151},
};

void RegisterComponents() {
    InstallComponentRegistry();
    RegisterClass(TrpGroup::StaticClassType());
    for (const OwnComponent& c : kOwnComponents) rpRegisterComponent(c.Class(), c.Page, c.Position, 0, "", c.LanguageText);
}

void UnregisterComponents() {
    for (auto it = std::rbegin(kOwnComponents); it != std::rend(kOwnComponents); ++it) rpUnregisterComponent(it->Class());
    UnRegisterClass(TrpGroup::StaticClassType());
    UninstallComponentRegistry();
}

}  // namespace

void registerAll() {
    InitializeLanguage();
    RegisterLibraryEnums();
    RegisterRootAdapters();
    RegisterClass(TrpCommunicator::StaticClassType());
    RegisterRelativeClasses();
    RegisterBorderClasses();
    RegisterPageClasses();
    RegisterModelClasses();
    RegisterDataPipelineClasses();
    RegisterSettingsClasses();
    RegisterStretchableClasses();
    RegisterMemoClasses();
    RegisterRegionClasses();
    RegisterPageBreakClasses();
    RegisterSubReportClasses();
    RegisterStretchAdapters();
    RegisterTreeNodeClasses();
    RegisterParameterClasses();
    RegisterTemplateClasses();
    RegisterComponents();
    RegisterModelAdapters();
    RegisterBandAdapters();
    rpSetDisplayFormatClass(TrpDisplayFormat::Instance());
}

void unregisterAll() {
    rpSetDisplayFormatClass(nullptr);
    UnregisterBandAdapters();
    UnregisterModelAdapters();
    UnregisterComponents();
    UnregisterTemplateClasses();
    UnregisterParameterClasses();
    UnregisterTreeNodeClasses();
    UnregisterStretchAdapters();
    UnregisterSubReportClasses();
    UnregisterPageBreakClasses();
    UnregisterRegionClasses();
    UnregisterMemoClasses();
    UnregisterStretchableClasses();
    UnregisterSettingsClasses();
    UnregisterDataPipelineClasses();
    UnregisterModelClasses();
    UnregisterPageClasses();
    UnregisterBorderClasses();
    UnregisterRelativeClasses();
    UnRegisterClass(TrpCommunicator::StaticClassType());
    UnregisterRootAdapters();
    UnregisterLibraryEnums();
    FinalizeLanguage();
}

}  // namespace report
