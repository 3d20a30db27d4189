#include "report/rpRegister.h"

#include "report/rpBorder.h"
#include "report/rpComm.h"
#include "report/rpDBPipeline.h"
#include "report/rpDisplayFormat.h"
#include "report/rpEnumRegistry.h"
#include "report/rpLanguage.h"
#include "report/rpMemo.h"
#include "report/rpModel.h"
#include "report/rpPage.h"
#include "report/rpPageBreak.h"
#include "report/rpParameters.h"
#include "report/rpRTTI.h"
#include "report/rpRegion.h"
#include "report/rpRelatv.h"
#include "report/rpSettings.h"
#include "report/rpStretchRTTI.h"
#include "report/rpSubReport.h"
#include "report/rpTemplate.h"
#include "report/rpTreeNodes.h"

namespace report {

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
    rpSetDisplayFormatClass(TrpDisplayFormat::Instance());
}

void unregisterAll() {
    rpSetDisplayFormatClass(nullptr);
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
