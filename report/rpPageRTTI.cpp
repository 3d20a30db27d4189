#include "report/rpPageRTTI.h"

#include "report/rpDrawCommand.h"
#include "report/rpPage.h"

using namespace rstable;

RP_TABLE_ADAPTER_BODY(TrsTrpDrawCommandRTTI, TrsTrpRelativeRTTI, TrpDrawCommand)

const TrsMemberTable& TrsTrpDrawCommandRTTI::MemberTable() {
    using D = TrpDrawCommand;
    static const TrsMemberTable table{
        WClassProp<D, TrpPage*>("Page", TrpPage::StaticClassType(), &D::Page, &D::SetPage),
        Prop<D>("Clickable", rsBoolean, &D::Clickable),
        WProp<D, bool>(
            "RedrawPage", rsBoolean, [](D& d) { return d.RedrawPage; }, [](D& d, bool v) { d.RedrawPage = v; }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDrawTextRTTI, TrsTrpDrawCommandRTTI, TrpDrawText)

const TrsMemberTable& TrsTrpDrawTextRTTI::MemberTable() {
    static const TrsMemberTable table{};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpPageRTTI, TrsTrpRelativeRTTI, TrpPage)

const TrsMemberTable& TrsTrpPageRTTI::MemberTable() {
    using P = TrpPage;
    static const TrsMemberTable table{
        Prop<P>("DrawCommandCount", rsInteger, &P::DrawCommandCount),
        Indexed<P>("DrawCommands", TrpDrawCommand::StaticClassType(), &P::DrawCommandCount,
                   [](P& p, int i) { return p.DrawCommands(i); }),
        Method<P>("RemoveDrawCommand", {{"aDrawCommand", rsClass, false, TrpDrawCommand::StaticClassType()}},
                  [](P& p, TrsParamList& list) {
                      TrsValue command;
                      if (!list.GetParamValue(0, command) || !std::holds_alternative<TObject*>(command)) return false;
                      auto* c = dynamic_cast<TrpDrawCommand*>(std::get<TObject*>(command));
                      if (c == nullptr || c->Page() != &p) return false;
                      // The command leaves the page as a whole, lists and ownership alike.
                      c->SetPage(nullptr);
                      return true;
                  }),
    };
    return table;
}

namespace report {

namespace {

const std::vector<TrsRTTIClass>& PageAdapters() {
    static const std::vector<TrsRTTIClass> adapters{TrsTrpDrawCommandRTTI::Instance(), TrsTrpDrawTextRTTI::Instance(),
                                                    TrsTrpPageRTTI::Instance()};
    return adapters;
}

}  // namespace

void RegisterPageAdapters() { RegisterRTTIClasses(PageAdapters()); }

void UnregisterPageAdapters() { UnregisterRTTIClasses(PageAdapters()); }

}  // namespace report
