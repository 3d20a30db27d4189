#pragma once
// The properties every text control publishes for its look: where it is
// anchored, its font, colours, border, alignment and wrapping. They are what
// a saved report (a template, or the copy a background print makes through
// the component stream) must carry back for the control to print the same;
// each class adds what is its own (a label's caption, a field, a variable's
// kind). Used by the units of the text controls only.
#include "platform/gfx/Graphics.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpComponent.h"
#include "report/rpPublish.h"
#include "report/rpTypes.h"
#include "report_output/rpGraphics.h"

template <typename C>
TClassBuilder<C>& rpPublishTextLook(TClassBuilder<C>& Builder, bool AutoSizeDefault) {
    return Builder.Set("Anchors", rpAnchorsTypeInfo(), &C::Anchors, &C::SetAnchors, 3)
        .Boolean("AutoSize", &C::AutoSize, &C::SetAutoSize, AutoSizeDefault ? 1 : 0)
        .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
        .Ordinal("Color", TypeInfoColor(), &C::Color, &C::SetColor, clWhite)
        .Object("Font", TFont::StaticClassType(), &C::Font, &C::SetFont)
        .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandClick),
               rpDrawCommandEventTypeInfo())
        .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandCreate),
               rpDrawCommandEventTypeInfo())
        .Enum("TextAlignment", rpTypeInfo<TrpTextAlignment>(), &C::TextAlignment, &C::SetTextAlignment,
              taLeftJustified)
        .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
        .Boolean("Visible", &C::Visible, &C::SetVisible, 1)
        .Boolean("WordWrap", &C::WordWrap, &C::SetWordWrap, 0);
}

