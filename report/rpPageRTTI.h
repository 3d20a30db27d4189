#pragma once
// What scripts see of pages and draw commands beyond their published
// properties: a command's page (writing it moves the command), whether it
// is clickable and whether the page is to be redrawn; a page's commands.
#include "report/rpRelatv.h"

// Adds Page (read and write), Clickable (read-only) and RedrawPage.
class TrsTrpDrawCommandRTTI : public TrsTrpRelativeRTTI {
public:
    FAT_CLASS(TrsTrpDrawCommandRTTI)
    static const TrsTrpDrawCommandRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

// The text command adds nothing of its own.
class TrsTrpDrawTextRTTI : public TrsTrpDrawCommandRTTI {
public:
    FAT_CLASS(TrsTrpDrawTextRTTI)
    static const TrsTrpDrawTextRTTI* Instance();
    TClass DescribedClass() const override;
};

// Adds DrawCommandCount (read-only), the function DrawCommands(Index) and
// the method RemoveDrawCommand(aDrawCommand).
class TrsTrpPageRTTI : public TrsTrpRelativeRTTI {
public:
    FAT_CLASS(TrsTrpPageRTTI)
    static const TrsTrpPageRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

namespace report {
void RegisterPageAdapters();
void UnregisterPageAdapters();
}  // namespace report
