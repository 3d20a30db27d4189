#pragma once
// The scripting adapters of rich text: the draw command's colour, the
// component's text, range and selection with its file and stream methods,
// and a data rich text's AutoDisplay.
#include "report/rpPageRTTI.h"
#include "report/rpStretchRTTI.h"

class TrsTrpDrawRichTextRTTI : public TrsTrpDrawCommandRTTI {
public:
    FAT_CLASS(TrsTrpDrawRichTextRTTI)
    static const TrsTrpDrawRichTextRTTI* Instance();
    TClass DescribedClass() const override;
    void GetPropList(TClass AClass, TStrings* Names) const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

class TrsTrpCustomRichTextRTTI : public TrsTrpStretchableRTTI {
public:
    FAT_CLASS(TrsTrpCustomRichTextRTTI)
    static const TrsTrpCustomRichTextRTTI* Instance();
    TClass DescribedClass() const override;
    void GetPropList(TClass AClass, TStrings* Names) const override;
    void GetEventList(TClass AClass, TStrings* Names) const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

class TrsTrpDBRichTextRTTI : public TrsTrpCustomRichTextRTTI {
public:
    FAT_CLASS(TrsTrpDBRichTextRTTI)
    static const TrsTrpDBRichTextRTTI* Instance();
    TClass DescribedClass() const override;
    void GetPropList(TClass AClass, TStrings* Names) const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

namespace report_output {
void RegisterRichTextAdapters();
void UnregisterRichTextAdapters();
}  // namespace report_output
