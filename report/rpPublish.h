#pragma once
// Published properties that many report controls share, written once: the
// anchoring, the draw-command events, the lengths in the report's units and
// a stretchable's offsets. A control's class metadata lists what it
// publishes in one place (its StaticClassType); these helpers only keep the
// spelling and the defaults the same everywhere. The lengths are never
// stored: the mm values, defined by the printable, are.
#include "platform/rtl/TypInfo.h"
#include "report/rpComponent.h"
#include "report/rpPipeline.h"
#include "report/rpPrintable.h"

// The event type of OnDrawCommandClick and OnDrawCommandCreate.
const TTypeInfo* rpDrawCommandEventTypeInfo();
// An event type by its name ("TrpFormatEvent"), made once for the program.
const TTypeInfo* rpEventTypeInfo(const std::string& Name);

template <typename C>
TClassBuilder<C>& rpPublishAnchors(TClassBuilder<C>& Builder) {
    return Builder.Set("Anchors", rpAnchorsTypeInfo(), &C::Anchors, &C::SetAnchors, 3);
}

template <typename C>
TClassBuilder<C>& rpPublishDrawCommandEvents(TClassBuilder<C>& Builder) {
    return Builder
        .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandClick),
               rpDrawCommandEventTypeInfo())
        .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandCreate),
               rpDrawCommandEventTypeInfo());
}

// The pipeline a data-aware object reads, by reference: the stored form
// keeps its name (DataPipelineName), found again once the layout is loaded,
// so that a layout read before its pipeline exists still finds it.
template <typename C>
TClassBuilder<C>& rpPublishDataPipeline(TClassBuilder<C>& Builder) {
    return Builder
        .Object(
            "DataPipeline", TrpDataPipeline::StaticClassType(),
            [](C* Object) -> TrpDataPipeline* { return Object->DataPipeline(); },
            [](C* Object, TrpDataPipeline* Value) { Object->SetDataPipeline(Value); })
        .NotStored();
}

// The lengths in the report's units, for scripts and old streams.
template <typename C>
TClassBuilder<C>& rpPublishLengths(TClassBuilder<C>& Builder) {
    return Builder.Float("Height", &C::Height, &C::SetHeight, TypeInfoSingle())
        .NotStored()
        .Float("Left", &C::Left, &C::SetLeft, TypeInfoSingle())
        .NotStored()
        .Float("Top", &C::Top, &C::SetTop, TypeInfoSingle())
        .NotStored()
        .Float("Width", &C::Width, &C::SetWidth, TypeInfoSingle())
        .NotStored();
}

// A stretchable's offsets in the report's units (mmBottomOffset and
// mmOverFlowOffset are stored).
template <typename C>
TClassBuilder<C>& rpPublishOffsets(TClassBuilder<C>& Builder) {
    return Builder.Float("BottomOffset", &C::BottomOffset, &C::SetBottomOffset, TypeInfoSingle())
        .NotStored()
        .Float("OverFlowOffset", &C::OverFlowOffset, &C::SetOverFlowOffset, TypeInfoSingle())
        .NotStored();
}
