#include "report_output/rpOutputRegister.h"

#include <iterator>

#include "report/rpDevice.h"
#include "report/rpRegComponents.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBackgroundPrint.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpControlsRTTI.h"
#include "report_output/rpDBText.h"
#include "report_output/rpEmail.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpPrinterDevice.h"
#include "report_output/rpRichText.h"
#include "report_output/rpRichTextRTTI.h"
#include "report_output/rpScreenDevice.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariableRTTI.h"
#include "report_output/rpVariables.h"

namespace report_output {

namespace {

// The controls this library defines, on the palette of the report library's
// component registry: page, position and the number of the text naming each.
struct PaletteEntry {
    TClass (*Class)();
    const char* Page;
    int32_t Position;
    int32_t LanguageText;
    const char* Caption = "";
};
const PaletteEntry kPalette[] = {
    {&TrpLabel::StaticClassType, "Standard Components", 0, 172},
    {&TrpRichText::StaticClassType, "Standard Components", 2, 351},
    {&TrpSystemVariable::StaticClassType, "Standard Components", 3, 491},
    {&TrpVariable::StaticClassType, "Standard Components", 4, 492},
    {&TrpImage::StaticClassType, "Standard Components", 5, 170},
    {&TrpShape::StaticClassType, "Standard Components", 6, 178},
    {&TrpLine::StaticClassType, "Standard Components", 7, 174},
    {&TrpBarCode::StaticClassType, "Standard Components", 8, 460},
    {&Trp2DBarCode::StaticClassType, "Standard Components", 10, 0, "2DBarCode"},
    {&TrpDBText::StaticClassType, "Data Components", 0, 167},
    {&TrpDBRichText::StaticClassType, "Data Components", 2, 352},
    {&TrpDBCalc::StaticClassType, "Data Components", 3, 164},
    {&TrpDBImage::StaticClassType, "Data Components", 4, 165},
    {&TrpDBBarCode::StaticClassType, "Data Components", 5, 461},
    {&TrpDB2DBarCode::StaticClassType, "Data Components", 10, 0, "DB2DBarCode"},
};

void RegisterPalette() {
    for (const PaletteEntry& e : kPalette) rpRegisterComponent(e.Class(), e.Page, e.Position, 0, e.Caption, e.LanguageText);
}

void UnregisterPalette() {
    for (auto it = std::rbegin(kPalette); it != std::rend(kPalette); ++it) rpUnregisterComponent(it->Class());
}

}  // namespace

// Each family of classes adds its Register*/Unregister* pair below; the
// unregistering runs in the reverse order.
void registerAll() {
    RegisterTextClasses();
    RegisterDBTextClasses();
    RegisterVariableClasses();
    RegisterGraphicClasses();
    RegisterImageClasses();
    RegisterControlAdapters();
    RegisterRichTextClasses();
    RegisterRichTextAdapters();
    RegisterScreenDeviceClasses();
    RegisterPrinterClasses();
    report::RegisterFileDeviceClasses();
    RegisterPDFDevice();
    RegisterBarCodeClasses();
    Register2DBarCodeClasses();
    RegisterVariableAdapters();
    RegisterPalette();
    RegisterEmailClasses();
    RegisterBackgroundPrinting();
}

void unregisterAll() {
    UnregisterBackgroundPrinting();
    UnregisterEmailClasses();
    UnregisterPalette();
    UnregisterVariableAdapters();
    Unregister2DBarCodeClasses();
    UnregisterBarCodeClasses();
    UnregisterPDFDevice();
    report::UnregisterFileDeviceClasses();
    UnregisterPrinterClasses();
    UnregisterScreenDeviceClasses();
    UnregisterRichTextAdapters();
    UnregisterRichTextClasses();
    UnregisterControlAdapters();
    UnregisterImageClasses();
    UnregisterGraphicClasses();
    UnregisterVariableClasses();
    UnregisterDBTextClasses();
    UnregisterTextClasses();
}

}  // namespace report_output
