#pragma once
// The scripting adapters of memos and regions: their members by name, as
// scripts and the designer reach them.
#include "report/rpModelRTTI.h"

class TrsTrpCustomMemoRTTI : public TrsTrpComponentRTTI {
public:
    FAT_CLASS(TrsTrpCustomMemoRTTI)
    static const TrsTrpCustomMemoRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

// Adds "AutoDisplay" and the event "OnGetMemo" (86, with "Lines").
class TrsTrpDBMemoRTTI : public TrsTrpCustomMemoRTTI {
public:
    FAT_CLASS(TrsTrpDBMemoRTTI)
    static const TrsTrpDBMemoRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    void GetEventList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

class TrsTrpCustomRegionRTTI : public TrsTrpComponentRTTI {
public:
    FAT_CLASS(TrsTrpCustomRegionRTTI)
    static const TrsTrpCustomRegionRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

namespace report {
void RegisterStretchAdapters();
void UnregisterStretchAdapters();
}  // namespace report
