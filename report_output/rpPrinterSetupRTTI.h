#pragma once
// The printer setup as scripts see it: its published options plus the
// values only code reads (tray code, the printer's lists, printable size)
// and the two that are set only this way (Units converts, DelegateCopies is
// written without an event). Writes go through the setup's own setters.
#include "report/rpRTTI.h"

class TrsTrpPrinterSetupRTTI : public TrsTObjectRTTI {
public:
    FAT_CLASS(TrsTrpPrinterSetupRTTI)
    static const TrsTrpPrinterSetupRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};
