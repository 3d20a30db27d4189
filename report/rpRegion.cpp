#include "report/rpRegion.h"

#include <algorithm>

#include "report/rpBands.h"
#include "report/rpCacheManager.h"
#include "report/rpDrawCommand.h"
#include "report/rpGeneration.h"
#include "report/rpPage.h"
#include "report/rpPageBreak.h"
#include "report/rpPublish.h"
#include "report/rpReport.h"

TClass TrpCustomRegion::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomRegion>("TrpCustomRegion", TrpStretchable::StaticClassType())
            .Object("Brush", TBrush::StaticClassType(), &TrpCustomRegion::Brush, &TrpCustomRegion::SetBrush)
            .Object("Pen", TPen::StaticClassType(), &TrpCustomRegion::Pen, &TrpCustomRegion::SetPen)
            .Build();
    return &info;
}

TClass TrpRegion::StaticClassType() {
    using C = TrpRegion;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpRegion", TrpCustomRegion::StaticClassType());
        rpPublishAnchors(builder)
            .String("Caption", &C::Caption, &C::SetCaption)
            .Boolean("ParentHeight", &C::ParentHeight, &C::SetParentHeight, 0)
            .Boolean("ParentWidth", &C::ParentWidth, &C::SetParentWidth, 0)
            .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
            .Boolean("StretchWithParent", &C::StretchWithParent, &C::SetStretchWithParent, 0)
            .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0);
        rpPublishDrawCommandEvents(builder);
        rpPublishOffsets(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TrpCustomRegion::TrpCustomRegion(TComponent* AOwner)
    : TrpStretchable(AOwner),
      brush_(std::make_unique<TBrush>()),
      pen_(std::make_unique<TPen>()),
      cacheManager_(std::make_unique<TrpCacheManager>(nullptr)) {
    SetCacheRecordSize(kRegionRecordSize);
    SetDrawCommandClass(TrpDrawShape::StaticClassType());
    // A clear brush is a transparent region, and the other way round.
    brush_->OnChange = [this](TObject*) {
        const bool clear = brush_->Style() == bsClear;
        if (clear != Transparent()) TrpStretchable::SetTransparent(clear);
        Invalidate();
    };
    pen_->OnChange = [this](TObject*) { Invalidate(); };
}

TrpCustomRegion::~TrpCustomRegion() {
    brush_->OnChange = nullptr;
    pen_->OnChange = nullptr;
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) {
        c->SetParentRegion(nullptr);
        if (auto* s = dynamic_cast<TrpStretchable*>(c)) s->SetRegion(nullptr);
        RemoveNotify(c);
    }
    objects_.clear();
    cacheManager_.reset();
}

TrpRegion::TrpRegion(TComponent* AOwner) : TrpCustomRegion(AOwner) { SetDefaultPropName("Caption"); }

// ---------------------------------------------------------------------------
// Appearance

void TrpCustomRegion::SetBrush(TBrush* Value) {
    if (Value != nullptr) brush_->Assign(Value);
}

void TrpCustomRegion::SetPen(TPen* Value) {
    if (Value != nullptr) pen_->Assign(Value);
}

void TrpCustomRegion::SetShapeType(TShapeType Value) {
    shapeType_ = Value;
    Invalidate();
}

void TrpCustomRegion::SetTransparent(bool Value) {
    TrpStretchable::SetTransparent(Value);
    const TBrushStyle style = Value ? bsClear : bsSolid;
    if (brush_->Style() != style) brush_->SetStyle(style);
}

void TrpCustomRegion::SetFillColor(TColor AColor, bool ATransparent) {
    if (!ATransparent) {
        BeforePropertyChange("Brush.Color");
        brush_->SetColor(AColor);
    }
    BeforePropertyChange("Brush.Style");
    brush_->SetStyle(ATransparent ? bsClear : bsSolid);
}

void TrpCustomRegion::SetLineColor(TColor AColor, bool ATransparent) {
    if (!ATransparent) {
        BeforePropertyChange("Pen.Color");
        pen_->SetColor(AColor);
    }
    BeforePropertyChange("Pen.Style");
    pen_->SetStyle(ATransparent ? psClear : psSolid);
}

void TrpCustomRegion::SetLineWidth(int Value) { pen_->SetWidth(Value); }

// ---------------------------------------------------------------------------
// Components held

bool TrpCustomRegion::Holds(const TrpComponent* Component) const {
    for (const TrpComponent* c : objects_) {
        if (c == Component) return true;
        if (auto* inner = dynamic_cast<const TrpCustomRegion*>(c); inner != nullptr && inner->Holds(Component))
            return true;
    }
    return false;
}

void TrpCustomRegion::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) Proc(c);
}

bool TrpCustomRegion::AddObject(TrpComponent* Component) {
    if (Component == nullptr || Component == this || IndexOfObject(Component) >= 0) return false;
    // A page break ends the band's page; it never sits in a region.
    if (dynamic_cast<TrpPageBreak*>(Component) != nullptr) return false;
    // A region inside itself would generate itself for ever.
    if (auto* region = dynamic_cast<TrpCustomRegion*>(Component); region != nullptr && region->Holds(this))
        return false;
    if (Component->ParentRegion() != nullptr && Component->ParentRegion() != this)
        if (auto* other = dynamic_cast<TrpCustomRegion*>(Component->ParentRegion())) other->RemoveObject(Component);
    if (Band() != nullptr && Component->Band() != Band()) Component->SetBand(Band());
    objects_.push_back(Component);
    Component->SetParentRegion(this);
    AddNotify(Component);
    auto* stretchable = dynamic_cast<TrpStretchable*>(Component);
    if (stretchable != nullptr) stretchable->SetRegion(this);
    if (!IsReading()) {
        // In front inside the region: right after its last component in the band.
        if (TrpBand* band = Band()) {
            int last = band->IndexOfObject(this);
            for (TrpComponent* c : objects_)
                if (c != Component) last = std::max(last, band->IndexOfObject(c));
            const int from = band->IndexOfObject(Component);
            if (from >= 0) band->MoveObject(from, from < last ? last : last + 1);
        }
        if (stretchable != nullptr && stretchable->Stretch() && !Stretch()) SetStretch(true);
        UpdateBand();
    }
    return true;
}

void TrpCustomRegion::RemoveObject(TrpComponent* Component) {
    auto it = std::find(objects_.begin(), objects_.end(), Component);
    if (it == objects_.end()) return;
    objects_.erase(it);
    if (static_cast<TrpComponent*>(maxStretchable_) == Component) maxStretchable_ = nullptr;
    drawList_.erase(std::remove(drawList_.begin(), drawList_.end(), Component), drawList_.end());
    for (auto& group : groups_) group.erase(std::remove(group.begin(), group.end(), Component), group.end());
    Component->SetParentRegion(nullptr);
    if (auto* s = dynamic_cast<TrpStretchable*>(Component)) s->SetRegion(nullptr);
    RemoveNotify(Component);
    UpdateBand();
}

TrpComponent* TrpCustomRegion::Objects(int Index) const {
    return Index >= 0 && Index < ObjectCount() ? objects_[static_cast<std::size_t>(Index)] : nullptr;
}

int TrpCustomRegion::IndexOfObject(const TrpComponent* Component) const {
    auto it = std::find(objects_.begin(), objects_.end(), Component);
    return it == objects_.end() ? -1 : static_cast<int>(it - objects_.begin());
}

TrpComponent* TrpCustomRegion::GetNextSibling() const {
    TrpBand* band = Band();
    if (band == nullptr) return nullptr;
    for (int i = band->IndexOfObject(this) + 1; i < band->ObjectCount(); ++i)
        if (!Holds(band->Objects(i))) return band->Objects(i);
    return nullptr;
}

void TrpCustomRegion::BringToFront() {
    TrpStretchable::BringToFront();
    if (Band() == nullptr) return;
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) Band()->BringObjectToFront(c);
}

void TrpCustomRegion::SendToBack() {
    TrpStretchable::SendToBack();
    TrpBand* band = Band();
    if (band == nullptr) return;
    int at = band->IndexOfObject(this);
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_)) {
        const int from = band->IndexOfObject(c);
        if (from < 0) continue;
        band->MoveObject(from, from < at ? at : at + 1);
        at = band->IndexOfObject(c);
    }
}

void TrpCustomRegion::SetBand(TrpBand* Value) {
    TrpStretchable::SetBand(Value);
    if (Value == nullptr || IsReading()) return;
    for (TrpComponent* c : std::vector<TrpComponent*>(objects_))
        if (c->Band() != Value) c->SetBand(Value);
}

void TrpCustomRegion::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator != nullptr) {
        auto gone = std::find_if(objects_.begin(), objects_.end(),
                                 [Communicator](TrpComponent* c) { return static_cast<TrpCommunicator*>(c) == Communicator; });
        if (gone != objects_.end()) {
            TrpComponent* c = *gone;
            if (static_cast<TrpComponent*>(maxStretchable_) == c) maxStretchable_ = nullptr;
            objects_.erase(gone);
            drawList_.erase(std::remove(drawList_.begin(), drawList_.end(), c), drawList_.end());
            for (auto& group : groups_) group.erase(std::remove(group.begin(), group.end(), c), group.end());
        }
    }
    TrpStretchable::Notify(Communicator, Operation);
}

void TrpCustomRegion::BoundsChange() {
    if (ComponentState().Contains(csDesigning) && !IsReading() && !GetPrinting() &&
        (mmLeft() != designLeft_ || mmTop() != designTop_)) {
        const int32_t dx = mmLeft() - designLeft_;
        const int32_t dy = mmTop() - designTop_;
        for (TrpComponent* c : std::vector<TrpComponent*>(objects_))
            c->SetBounds(c->mmLeft() + dx, c->mmTop() + dy, c->mmWidth(), c->mmHeight());
    }
    designLeft_ = mmLeft();
    designTop_ = mmTop();
    TrpStretchable::BoundsChange();
}

void TrpCustomRegion::Loaded() {
    TrpStretchable::Loaded();
    designLeft_ = mmLeft();
    designTop_ = mmTop();
}

const std::vector<TrpComponent*>& TrpCustomRegion::Group(int Number) const {
    static const std::vector<TrpComponent*> none;
    return Number >= 1 && Number <= 4 ? groups_[Number - 1] : none;
}

// ---------------------------------------------------------------------------
// Run

void TrpCustomRegion::BuildGroups() {
    for (auto& group : groups_) group.clear();
    for (TrpComponent* c : objects_) {
        int group = 1;
        auto* s = dynamic_cast<TrpStretchable*>(c);
        if (s != nullptr && s->ShiftRelativeTo() != nullptr) continue;  // its target prints it
        if (s != nullptr && s->Stretch())
            group = 2;
        else if (c->StretchWithParent())
            group = 3;
        else if (c->ShiftWithParent())
            group = 4;
        groups_[group - 1].push_back(c);
    }
}

std::vector<TrpCacheable*> TrpCustomRegion::CacheableObjects() const {
    std::vector<TrpCacheable*> list;
    for (TrpComponent* c : objects_) list.push_back(c);
    return list;
}

void TrpCustomRegion::Init() {
    TrpStretchable::Init();
    for (TrpComponent* c : objects_) c->Init();
    smallestTop_ = 0;
    largestBottom_ = 0;
    currentGroup_ = currentObject_ = 0;
    moreToPrint_ = continuing_ = false;
    BuildGroups();
    cacheManager_->ResetFromList(CacheableObjects());
    for (TrpComponent* c : objects_) cacheManager_->AddNotify(c);
}

void TrpCustomRegion::InitGeneration() {
    TrpStretchable::InitGeneration();
    drawList_.clear();
    maxStretchable_ = nullptr;
}

void TrpCustomRegion::PrepareReprint() {
    TrpStretchable::PrepareReprint();
    for (TrpComponent* c : objects_) c->PrepareReprint();
}

void TrpCustomRegion::GeneratePlain(TrpComponent* Component) {
    if (!Component->Visible() || Component->Printed()) {
        Component->SetSpaceUsed(0);
        Component->SetGenerationComplete(true);
        Component->SetDrawComponent(false);
        return;
    }
    Component->DoOnPrint();
    const TRect rect = PrintRect();
    const int32_t top = rect.Top + Component->mmTop() - mmTop() - (continuing_ ? smallestTop_ : 0);
    int32_t height = Component->mmHeight();
    if (Component->StretchWithParent()) {
        // Down to the lowest of what the region printed before it, but
        // never past the page.
        if (top < largestBottom_) height = largestBottom_ - top;
        if (top < PageBottom() && top + height > PageBottom()) height = PageBottom() - top;
    }
    const int32_t bottom = top + height;
    if (bottom > PageBottom()) {
        Component->SetSpaceUsed(0);
        Component->SetGenerationComplete(false);
        Component->SetOutOfSpace(true);
        Component->SetDrawComponent(false);
        return;
    }
    const int32_t left = rect.Left + (Component->ParentWidth() ? 0 : Component->mmLeft() - mmLeft());
    const int32_t width = Component->ParentWidth() ? rect.Right - rect.Left : Component->mmWidth();
    Component->SetPrintRect(TRect{left, top, left + width, bottom});
    Component->SetSpaceUsed(std::max(height, 0));
    Component->SetGenerationComplete(true);
    Component->SetPrinted(true);
    Component->SetDrawComponent(true);
}

void TrpCustomRegion::GenerateGroups() {
    const int32_t regionTop = PrintRect().Top;
    int32_t nextSmallest = mmHeight();
    bool cut = false;
    int cutGroup = 0;
    int cutObject = 0;
    largestBottom_ = regionTop;
    for (int g = currentGroup_; g < 4; ++g) {
        const std::vector<TrpComponent*>& group = groups_[g];
        for (std::size_t i = g == currentGroup_ ? static_cast<std::size_t>(currentObject_) : 0; i < group.size(); ++i) {
            TrpComponent* c = group[i];
            if (auto* s = dynamic_cast<TrpStretchable*>(c)) {
                if (!s->Visible()) {
                    s->SetSpaceUsed(0);
                    s->SetGenerationComplete(true);
                    s->SetDrawComponent(false);
                } else {
                    s->Generate();
                }
            } else {
                GeneratePlain(c);
            }
            if (c->SpaceUsed() > 0) {
                drawList_.push_back(c);
                const int32_t bottom = c->PrintRect().Top + c->SpaceUsed();
                auto* s = dynamic_cast<TrpStretchable*>(c);
                if (s != nullptr && s->Stretch() && bottom > largestBottom_) maxStretchable_ = s;
                largestBottom_ = std::max(largestBottom_, bottom);
            }
            if (!c->GenerationComplete()) {
                if (!cut) {
                    cut = true;
                    cutGroup = g;
                    cutObject = static_cast<int>(i);
                }
                nextSmallest = std::min(nextSmallest, c->mmTop() - mmTop());
            }
            rpProcessMessages();
        }
    }
    moreToPrint_ = cut;
    if (cut) {
        currentGroup_ = cutGroup;
        currentObject_ = cutObject;
    } else {
        currentGroup_ = currentObject_ = 0;
    }
    if (Grows()) {
        // A region that starts here is at least its design height; one that
        // continues takes what its components took.
        int32_t used = largestBottom_ - regionTop;
        if (!continuing_ && !cut) used = std::max(used, std::min(mmHeight(), PageBottom() - regionTop));
        SetSpaceUsed(std::max(used, 0));
    }
    // What is left moves up on the next page by the room its highest part
    // took here.
    continuing_ = cut;
    smallestTop_ = cut ? std::max(nextSmallest, 0) : 0;
}

void TrpCustomRegion::GenerateContent() {
    const bool keep = KeepTogether() && MustKeepTogether();
    if (keep) cacheManager_->SavePage(0);
    GenerateGroups();
    if (keep && moreToPrint_) {
        // Nothing of it stays on this page: the components are as they were
        // and the region starts afresh on the next.
        cacheManager_->RestorePage(0);
        SetSpaceUsed(0);
        SetKeptTogether(true);
        for (TrpComponent* c : objects_) {
            c->SetPrinted(false);
            c->SetOverFlow(false);
            c->SetDrawComponent(false);
        }
        drawList_.clear();
        currentGroup_ = currentObject_ = 0;
        continuing_ = false;
        smallestTop_ = 0;
        SetOverFlow(true);
        return;
    }
    if (!moreToPrint_) SetKeptTogether(false);
    SetOverFlow(moreToPrint_);
}

void TrpCustomRegion::Draw(TrpPage* Page) {
    DrawIfVisible(Page);
    std::vector<TrpComponent*> list = drawList_;
    std::stable_sort(list.begin(), list.end(), [this](const TrpComponent* a, const TrpComponent* b) {
        return IndexOfObject(a) < IndexOfObject(b);
    });
    for (TrpComponent* c : list) {
        if (auto* s = dynamic_cast<TrpStretchable*>(c))
            s->Draw(Page);
        else
            c->DrawIfVisible(Page);
    }
    DrawDependents(Page);
}

void TrpCustomRegion::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpStretchable::PropertiesToDrawCommand(DrawCommand);
    auto* shape = dynamic_cast<TrpDrawShape*>(DrawCommand);
    if (shape == nullptr) return;
    shape->SetBrush(brush_.get());
    shape->SetPen(pen_.get());
    TRect r = PrintRect();
    const int inset = pen_->Width() / 2;
    r.Left += inset;
    r.Top += inset;
    r.Right -= inset;
    r.Bottom -= inset;
    TShapeType kind = shapeType_;
    int32_t width = r.Right - r.Left;
    int32_t height = r.Bottom - r.Top;
    if (kind == stSquare || kind == stRoundSquare || kind == stCircle) {
        const int32_t side = std::min(width, height);
        r.Left += (width - side) / 2;
        r.Top += (height - side) / 2;
        width = height = side;
        kind = kind == stSquare ? stRectangle : kind == stRoundSquare ? stRoundRect : stEllipse;
    }
    shape->SetLeft(r.Left);
    shape->SetTop(r.Top);
    shape->SetWidth(width);
    shape->SetHeight(height);
    shape->SetShapeType(kind);
    const int round = std::min(width, height) / 4;
    shape->SetXCornerRound(round);
    shape->SetYCornerRound(round);
}

// ---------------------------------------------------------------------------
// Page record

void TrpCustomRegion::ResetCache(int Page) {
    TrpStretchable::ResetCache(Page);
    SetKeptTogether(false);
    currentGroup_ = currentObject_ = 0;
    moreToPrint_ = continuing_ = false;
    smallestTop_ = 0;
}

void TrpCustomRegion::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    record.PutBool(0, Ready());
    record.PutBool(1, OverFlow());
    record.PutBool(2, KeptTogether());
    record.PutInt(4, currentObject_);
    record.PutBool(8, moreToPrint_);
    record.PutBool(9, continuing_);
    record.PutInt(12, currentGroup_);
    record.PutInt(16, smallestTop_);
    WriteCacheRecord(Page, record.Data());
}

void TrpCustomRegion::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    SetPrinted(!record.GetBool(0));
    SetOverFlow(record.GetBool(1));
    SetKeptTogether(record.GetBool(2));
    currentObject_ = record.GetInt(4);
    moreToPrint_ = record.GetBool(8);
    continuing_ = record.GetBool(9);
    currentGroup_ = record.GetInt(12);
    smallestTop_ = record.GetInt(16);
}

namespace report {

void RegisterRegionClasses() {
    RegisterClass(TrpCustomRegion::StaticClassType());
    RegisterClass(TrpRegion::StaticClassType());
}

void UnregisterRegionClasses() {
    UnRegisterClass(TrpRegion::StaticClassType());
    UnRegisterClass(TrpCustomRegion::StaticClassType());
}

}  // namespace report
