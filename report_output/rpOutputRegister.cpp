#include "report_output/rpOutputRegister.h"

#include "report/rpDevice.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpPrinterDevice.h"
#include "report_output/rpRichText.h"
#include "report_output/rpRichTextRTTI.h"
#include "report_output/rpScreenDevice.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"

namespace report_output {

// Each family of classes adds its Register*/Unregister* pair below; the
// unregistering runs in the reverse order.
void registerAll() {
    RegisterTextClasses();
    RegisterDBTextClasses();
    RegisterVariableClasses();
    RegisterGraphicClasses();
    RegisterImageClasses();
    RegisterRichTextClasses();
    RegisterRichTextAdapters();
    RegisterScreenDeviceClasses();
    RegisterPrinterClasses();
    report::RegisterFileDeviceClasses();
    RegisterPDFDevice();
    RegisterBarCodeClasses();
    Register2DBarCodeClasses();
}

void unregisterAll() {
    Unregister2DBarCodeClasses();
    UnregisterBarCodeClasses();
    UnregisterPDFDevice();
    report::UnregisterFileDeviceClasses();
    UnregisterPrinterClasses();
    UnregisterScreenDeviceClasses();
    UnregisterRichTextAdapters();
    UnregisterRichTextClasses();
    UnregisterImageClasses();
    UnregisterGraphicClasses();
    UnregisterVariableClasses();
    UnregisterDBTextClasses();
    UnregisterTextClasses();
}

}  // namespace report_output
