#include "report_output/rpRichTextRTTI.h"

#include "report_output/rpRichText.h"

using namespace rstable;

namespace {

using R = TrpCustomRichText;

// A method of the text taking one parameter of type T.
template <class T, class F>
TrsMember OneParameter(const char* Name, TrsParam Param, F Do) {
    return Method<R>(Name, {Param}, [Do](R& r, TrsParamList& list) {
        TrsValue v;
        T x{};
        if (!list.GetParamValue(0, v) || !rsdetail::FromValue(v, x)) return false;
        if constexpr (std::is_pointer_v<T>)
            if (x == nullptr) return false;
        std::invoke(Do, r, x);
        return true;
    });
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpDrawRichTextRTTI, TrsTrpDrawCommandRTTI, TrpDrawRichText)

const TrsMemberTable& TrsTrpDrawRichTextRTTI::MemberTable() {
    using D = TrpDrawRichText;
    static const TrsMemberTable table{
        WEnumProp<D, TColor>("Color", "TColor", &D::Color, &D::SetColor),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomRichTextRTTI, TrsTrpStretchableRTTI, TrpCustomRichText)

const TrsMemberTable& TrsTrpCustomRichTextRTTI::MemberTable() {
    const TClass stream = TStream::StaticClassType();
    static const TrsMemberTable table{
        Prop<R>("EndCharPos", rsInteger, &R::EndCharPos),
        WProp<R, std::string>("RichText", rsString, &R::GetRichText, &R::SetRichText),
        ClassProp<R>("RichTextStream", TMemoryStream::StaticClassType(), &R::GetRTFStream),
        ClassProp<R>("RichTextStrings", TStrings::StaticClassType(), &R::RichTextStrings),
        Prop<R>("StartCharPos", rsInteger, &R::StartCharPos),
        ClassProp<R>("Paragraph", TrpParaAttributes::StaticClassType(), &R::Paragraph),
        Prop<R>("PlainText", rsString, &R::PlainText),
        ClassProp<R>("SelAttributes", TrpTextAttributes::StaticClassType(), &R::SelAttributes),
        WProp<R, int32_t>("SelLength", rsInteger, &R::SelLength, &R::SetSelLength),
        WProp<R, int32_t>("SelStart", rsInteger, &R::SelStart, &R::SetSelStart),
        WProp<R, std::string>("SelText", rsString, &R::SelText, &R::SetSelText),
        Method<R>("FindText",
                  {{"SearchStr", rsString},
                   {"StartPos", rsInteger},
                   {"Length", rsInteger},
                   {"WholeWord", rsBoolean},
                   {"MatchCase", rsBoolean},
                   {"Result", rsInteger}},
                  [](R& r, TrsParamList& list) {
                      TrsValue text, start, length, whole, match;
                      if (!list.GetParamValue(0, text) || !list.GetParamValue(1, start) ||
                          !list.GetParamValue(2, length) || !list.GetParamValue(3, whole) ||
                          !list.GetParamValue(4, match))
                          return false;
                      const int found = r.FindText(std::get<std::string>(text), std::get<int32_t>(start),
                                                   std::get<int32_t>(length), std::get<bool>(whole),
                                                   std::get<bool>(match));
                      return list.SetParamValue(5, static_cast<int32_t>(found));
                  }),
        OneParameter<std::string>("LoadFromFile", {"aFileName", rsString}, &R::LoadFromFile),
        OneParameter<TStream*>("LoadFromRTFStream", {"aStream", rsClass, false, stream}, &R::LoadFromRTFStream),
        OneParameter<std::string>("SaveToFile", {"aFileName", rsString}, &R::SaveToFile),
        OneParameter<TStream*>("SaveToRTFStream", {"aStream", rsClass, false, stream}, &R::SaveToRTFStream),
        Event("OnGetRichText", rpevGetRichText, {{"Text", rsString, true}}),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBRichTextRTTI, TrsTrpCustomRichTextRTTI, TrpDBRichText)

const TrsMemberTable& TrsTrpDBRichTextRTTI::MemberTable() {
    using D = TrpDBRichText;
    static const TrsMemberTable table{
        WProp<D, bool>("AutoDisplay", rsBoolean, &D::AutoDisplay, &D::SetAutoDisplay),
    };
    return table;
}

namespace report_output {

void RegisterRichTextAdapters() {
    RegisterRTTIClasses({TrsTrpDrawRichTextRTTI::Instance(), TrsTrpCustomRichTextRTTI::Instance(),
                         TrsTrpDBRichTextRTTI::Instance()});
}

void UnregisterRichTextAdapters() {
    UnregisterRTTIClasses({TrsTrpDrawRichTextRTTI::Instance(), TrsTrpCustomRichTextRTTI::Instance(),
                           TrsTrpDBRichTextRTTI::Instance()});
}

}  // namespace report_output
