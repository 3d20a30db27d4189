#include "report/rpPageStore.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/gfx/Graphics.h"
#include "report/rpBorder.h"
#include "report/rpDrawCommand.h"

namespace report {

namespace {

// What follows a command's kind byte.
enum Kind : std::uint8_t { kCopy = 0, kText = 1, kLine = 2, kShape = 3 };

// The first byte of a command's flags.
enum Flag : std::uint8_t {
    fClickable = 1,
    fHasTagString = 2,
    fHasDrawRect = 4,
    fHasComponent = 8,
    fHasTag = 16,
};

std::uint64_t Bits(double V) {
    std::uint64_t b;
    std::memcpy(&b, &V, sizeof b);
    return b;
}

// Equal exactly when their packed forms below are.
bool SameFont(const TFont& A, const TFont& B) {
    return A.Name() == B.Name() && Bits(A.SizeInPoints()) == Bits(B.SizeInPoints()) &&
           A.IsCellHeight() == B.IsCellHeight() && A.Color() == B.Color() && A.Charset() == B.Charset() &&
           A.Pitch() == B.Pitch() && A.Style().Bits() == B.Style().Bits() && A.PixelsPerInch() == B.PixelsPerInch();
}

bool SamePen(const TPen& A, const TPen& B) {
    return A.Color() == B.Color() && A.Mode() == B.Mode() && A.Style() == B.Style() && A.Width() == B.Width();
}

bool SameBrush(const TBrush& A, const TBrush& B) { return A.Color() == B.Color() && A.Style() == B.Style(); }

// Looks Value up among the recent numbers of List; -1 when none holds it.
template <typename T, typename Same, std::size_t N>
int FindRecent(const int (&Recent)[N], const std::vector<std::unique_ptr<T>>& List, const T& Value, Same same) {
    for (int n : Recent)
        if (n >= 0 && same(*List[static_cast<std::size_t>(n)], Value)) return n;
    return -1;
}

template <std::size_t N>
void Remember(int (&Recent)[N], unsigned& Next, int Number) {
    for (int n : Recent)
        if (n == Number) return;
    Recent[Next++ % N] = Number;
}

bool PlainList(const TStrings* List) {
    if (List == nullptr) return true;
    for (int i = 0; i < List->Count(); ++i)
        if (List->Objects(i) != nullptr) return false;
    return true;
}

}  // namespace

// Only the exact classes below are packed; a subclass may hold more.
int PageStore::KindOf(TrpDrawCommand* Command) {
    if (!Command->Name().empty()) return kCopy;
    const TClass cls = Command->ClassType();
    if (cls == TrpDrawText::StaticClassType()) {
        auto* t = static_cast<TrpDrawText*>(Command);
        return PlainList(t->tabStopPositions_.get()) && PlainList(t->wrappedText_.get()) ? kText : kCopy;
    }
    if (cls == TrpDrawLine::StaticClassType()) return kLine;
    if (cls == TrpDrawShape::StaticClassType()) return kShape;
    return kCopy;
}

// A page as kept: its own values on a page without commands, its commands
// packed, the commands kept as copies and the click handlers in order.
struct PageStore::Stored {
    std::unique_ptr<TrpPage> values;
    std::string bytes;
    std::vector<std::unique_ptr<TrpDrawCommand>> copies;
    std::vector<TNotifyEvent> clicks;
    int commands = 0;
};

class PageStore::Writer {
public:
    explicit Writer(std::string& Out) : out_(Out) {}
    void Byte(std::uint8_t V) { out_.push_back(static_cast<char>(V)); }
    // Most numbers are a single byte, written in place; longer ones are
    // made whole, then appended once: a page writes thousands of these.
    void Unsigned(std::uint64_t V) {
        if (V < 0x80)
            out_.push_back(static_cast<char>(V));
        else
            Long(V);
    }
    void Signed(std::int64_t V) {
        Unsigned((static_cast<std::uint64_t>(V) << 1) ^ static_cast<std::uint64_t>(V >> 63));
    }
    void Float(float V) { out_.append(reinterpret_cast<const char*>(&V), sizeof V); }
    void Double(double V) { out_.append(reinterpret_cast<const char*>(&V), sizeof V); }
    void Str(const std::string& V) {
        Unsigned(V.size());
        out_.append(V);
    }
    void List(const TStrings* V) {
        if (V == nullptr) {
            Unsigned(0);
            return;
        }
        Unsigned(static_cast<std::uint64_t>(V->Count()));
        for (int i = 0; i < V->Count(); ++i) Str(V->Strings(i));
    }

private:
    [[gnu::noinline]] void Long(std::uint64_t V) {
        char bytes[10];
        std::size_t n = 0;
        while (V >= 0x80) {
            bytes[n++] = static_cast<char>((V & 0x7F) | 0x80);
            V >>= 7;
        }
        bytes[n++] = static_cast<char>(V);
        out_.append(bytes, n);
    }

    std::string& out_;
};

class PageStore::Reader {
public:
    explicit Reader(const std::string& In) : p_(In.data()) {}
    std::uint8_t Byte() { return static_cast<std::uint8_t>(*p_++); }
    std::uint64_t Unsigned() {
        std::uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = static_cast<std::uint8_t>(*p_++);
            v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) return v;
        }
    }
    std::int64_t Signed() {
        const std::uint64_t u = Unsigned();
        return static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
    }
    int Int() { return static_cast<int>(Signed()); }
    float Float() {
        float v;
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }
    double Double() {
        double v;
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }
    std::string Str() {
        const auto n = static_cast<std::size_t>(Unsigned());
        std::string v(p_, n);
        p_ += n;
        return v;
    }
    // Fills the list, made only when there is something to put in it.
    void List(std::unique_ptr<TStringList>& V) {
        const auto n = Unsigned();
        if (n == 0) {
            if (V) V->Clear();
            return;
        }
        if (!V) V = std::make_unique<TStringList>();
        V->Clear();
        for (std::uint64_t i = 0; i < n; ++i) V->Add(Str());
    }

private:
    const char* p_;
};

PageStore::PageStore() { std::fill(std::begin(recentShapes_), std::end(recentShapes_), -1); }
PageStore::~PageStore() = default;

void PageStore::Clear() {
    for (int i = 0; i < kRecent; ++i) recentFonts_[i] = recentPens_[i] = recentBrushes_[i] = -1;
    std::fill(std::begin(recentShapes_), std::end(recentShapes_), -1);
    pages_.clear();
    byNumber_.clear();
    fonts_.clear();
    pens_.clear();
    brushes_.clear();
    borders_.clear();
    components_.clear();
    index_.clear();
    componentIndex_.clear();
    shapes_.clear();
    shapeIndex_.clear();
    geometry_.clear();
}

// Shared values are found by their packed form, one table for every kind
// (the first byte tells the kinds apart).
int PageStore::Intern(const TFont& Font) {
    if (const int n = FindRecent(recentFonts_, fonts_, Font, SameFont); n >= 0) return n;
    const int n = InternFont(Font);
    Remember(recentFonts_, nextFont_, n);
    return n;
}

int PageStore::InternFont(const TFont& Font) {
    key_.clear();
    Writer w(key_);
    w.Byte('F');
    w.Str(Font.Name());
    w.Double(Font.SizeInPoints());
    w.Byte(Font.IsCellHeight() ? 1 : 0);
    w.Signed(static_cast<std::int64_t>(Font.Color()));
    w.Signed(static_cast<std::int64_t>(Font.Charset()));
    w.Signed(static_cast<std::int64_t>(Font.Pitch()));
    w.Unsigned(Font.Style().Bits());
    w.Signed(Font.PixelsPerInch());
    auto [it, added] = index_.try_emplace(key_, static_cast<int>(fonts_.size()));
    if (added) fonts_.push_back(std::make_unique<TFont>(Font));
    return it->second;
}

int PageStore::Intern(const TPen& Pen) {
    if (const int n = FindRecent(recentPens_, pens_, Pen, SamePen); n >= 0) return n;
    const int n = InternPen(Pen);
    Remember(recentPens_, nextPen_, n);
    return n;
}

int PageStore::InternPen(const TPen& Pen) {
    key_.clear();
    Writer w(key_);
    w.Byte('P');
    w.Signed(static_cast<std::int64_t>(Pen.Color()));
    w.Signed(static_cast<std::int64_t>(Pen.Mode()));
    w.Signed(static_cast<std::int64_t>(Pen.Style()));
    w.Signed(Pen.Width());
    auto [it, added] = index_.try_emplace(key_, static_cast<int>(pens_.size()));
    if (added) pens_.push_back(std::make_unique<TPen>(Pen));
    return it->second;
}

int PageStore::Intern(const TBrush& Brush) {
    if (const int n = FindRecent(recentBrushes_, brushes_, Brush, SameBrush); n >= 0) return n;
    const int n = InternBrush(Brush);
    Remember(recentBrushes_, nextBrush_, n);
    return n;
}

int PageStore::InternBrush(const TBrush& Brush) {
    key_.clear();
    Writer w(key_);
    w.Byte('B');
    w.Signed(static_cast<std::int64_t>(Brush.Color()));
    w.Signed(static_cast<std::int64_t>(Brush.Style()));
    auto [it, added] = index_.try_emplace(key_, static_cast<int>(brushes_.size()));
    if (added) brushes_.push_back(std::make_unique<TBrush>(Brush));
    return it->second;
}

int PageStore::Intern(const TrpBorder& Border) {
    key_.clear();
    Writer w(key_);
    w.Byte('R');
    w.Unsigned(Border.BorderPositions().Bits());
    w.Signed(static_cast<std::int64_t>(Border.Color()));
    w.Signed(static_cast<std::int64_t>(Border.Style()));
    w.Byte(Border.Visible() ? 1 : 0);
    w.Float(Border.Weight());
    auto [it, added] = index_.try_emplace(key_, static_cast<int>(borders_.size()));
    if (added) {
        auto copy = std::make_unique<TrpBorder>();
        copy->Assign(const_cast<TrpBorder*>(&Border));
        borders_.push_back(std::move(copy));
    }
    return it->second;
}

int PageStore::Intern(TComponent* Component) {
    auto [it, added] = componentIndex_.try_emplace(Component, static_cast<int>(components_.size()));
    if (added) components_.push_back(Component);
    return it->second;
}

// The shape just packed in shapeKey_, found or added.
int PageStore::InternShape(const void* Maker) {
    // Controls lie a few kilobytes apart: their addresses' low bits repeat,
    // so the slot comes from all of them.
    const std::size_t slot =
        static_cast<std::size_t>((static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(Maker)) *
                                  0x9E3779B97F4A7C15ull) >> 56) % kShapeSlots;
    if (const int n = recentShapes_[slot]; n >= 0 && *shapes_[static_cast<std::size_t>(n)] == shapeKey_) return n;
    auto [it, added] = shapeIndex_.try_emplace(shapeKey_, static_cast<int>(shapes_.size()));
    if (added) shapes_.push_back(&it->first);
    recentShapes_[slot] = it->second;
    return it->second;
}

// The place of the page's last command of that shape; nothing before the
// first one.
PageStore::Geometry& PageStore::LastGeometry(int Shape) {
    const auto n = static_cast<std::size_t>(Shape);
    if (n >= geometry_.size()) geometry_.resize(n + 1);
    GeometryOnPage& g = geometry_[n];
    if (g.page != pageSerial_) {
        g.page = pageSerial_;
        g.place = Geometry{};
    }
    return g.place;
}

void PageStore::EncodeCommon(Writer& Out, TrpDrawCommand* C, Stored& Page) {
    const bool drawRect = C->DrawLeft != 0 || C->DrawTop != 0 || C->DrawRight != 0 || C->DrawBottom != 0;
    std::uint8_t flags = 0;
    if (C->clickable_) flags |= fClickable;
    if (!C->TagString.empty()) flags |= fHasTagString;
    if (drawRect) flags |= fHasDrawRect;
    if (C->ReportComponent != nullptr) flags |= fHasComponent;
    if (C->Tag() != 0) flags |= fHasTag;
    Out.Byte(flags);
    // 0 for a command without a border of its own.
    Out.Unsigned(C->BorderStored() ? static_cast<std::uint64_t>(Intern(*C->border_)) + 1 : 0);
    Out.Signed(static_cast<std::int64_t>(C->dataType_));
    if (flags & fHasTag) Out.Signed(static_cast<std::int64_t>(C->Tag()));
    if (flags & fHasTagString) Out.Str(C->TagString);
    if (drawRect) {
        Out.Signed(C->DrawLeft);
        Out.Signed(C->DrawTop);
        Out.Signed(C->DrawRight);
        Out.Signed(C->DrawBottom);
    }
    if (flags & fHasComponent) Out.Unsigned(static_cast<std::uint64_t>(Intern(C->ReportComponent)));
    // Only a clickable command answers a click: the others' handlers are
    // never called, and would cost as much as the rest of the command.
    if (flags & fClickable) Page.clicks.push_back(C->OnClick);
}

void PageStore::DecodeCommon(Reader& In, TrpDrawCommand* C, const Stored& Page, int& Click) const {
    const std::uint8_t flags = In.Byte();
    if (const auto border = In.Unsigned(); border > 0) C->Border()->Assign(borders_[border - 1].get());
    C->clickable_ = (flags & fClickable) != 0;
    C->dataType_ = static_cast<TrpDataType>(In.Signed());
    if (flags & fHasTag) C->SetTag(static_cast<std::intptr_t>(In.Signed()));
    if (flags & fHasTagString) C->TagString = In.Str();
    if (flags & fHasDrawRect) {
        C->DrawLeft = In.Int();
        C->DrawTop = In.Int();
        C->DrawRight = In.Int();
        C->DrawBottom = In.Int();
    }
    if (flags & fHasComponent) C->ReportComponent = components_[In.Unsigned()];
    if (flags & fClickable) C->OnClick = Page.clicks[static_cast<std::size_t>(Click++)];
}

void PageStore::EncodeText(Writer& Out, Writer& Var, TrpDrawText* T) {
    Out.Unsigned(static_cast<std::uint64_t>(Intern(T->font_)));
    Var.Str(T->text_);
    Out.Signed(T->angle_);
    Out.Signed(static_cast<std::int64_t>(T->color_));
    Out.Signed(static_cast<std::int64_t>(T->textAlignment_));
    Out.Signed(static_cast<std::int64_t>(T->alignment_));
    Out.Byte(static_cast<std::uint8_t>((T->autoSize_ ? 1 : 0) | (T->forceJustifyLastLine_ ? 2 : 0) |
                                       (T->isMemo_ ? 4 : 0) | (T->transparent_ ? 8 : 0) | (T->wordWrap_ ? 16 : 0) |
                                       (T->bandSave_ ? 32 : 0) | (T->componentSave_ ? 64 : 0)));
    Out.Signed(T->leading_);
    Var.Signed(T->bandSaveNo_);
    Out.Signed(T->componentSaveNo_);
    Out.Signed(T->saveLength_);
    Out.Signed(T->RotatedOriginLeft);
    Out.Signed(T->RotatedOriginTop);
    Var.List(T->tabStopPositions_.get());
    Var.List(T->wrappedText_.get());
}

void PageStore::DecodeText(Reader& In, Reader& Var, TrpDrawText* T) const {
    T->font_.Assign(fonts_[In.Unsigned()].get());
    T->text_ = Var.Str();
    T->angle_ = In.Int();
    T->color_ = static_cast<TColor>(In.Signed());
    T->textAlignment_ = static_cast<TrpTextAlignment>(In.Signed());
    T->alignment_ = static_cast<TAlignment>(In.Signed());
    const std::uint8_t b = In.Byte();
    T->autoSize_ = (b & 1) != 0;
    T->forceJustifyLastLine_ = (b & 2) != 0;
    T->isMemo_ = (b & 4) != 0;
    T->transparent_ = (b & 8) != 0;
    T->wordWrap_ = (b & 16) != 0;
    T->bandSave_ = (b & 32) != 0;
    T->componentSave_ = (b & 64) != 0;
    T->leading_ = In.Int();
    T->bandSaveNo_ = Var.Int();
    T->componentSaveNo_ = In.Int();
    T->saveLength_ = In.Int();
    T->RotatedOriginLeft = In.Int();
    T->RotatedOriginTop = In.Int();
    Var.List(T->tabStopPositions_);
    Var.List(T->wrappedText_);
}

void PageStore::Add(TrpPage* Page) {
    if (Page == nullptr) return;
    auto stored = std::make_unique<Stored>();
    stored->values = std::make_unique<TrpPage>(nullptr);
    stored->values->AssignValues(Page);
    // Packed in a buffer kept from page to page, then copied once at its
    // size: growing each page's own string took a dozen reallocations.
    scratch_.clear();
    Writer out(scratch_);
    ++pageSerial_;
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        TrpDrawCommand* c = Page->DrawCommands(i);
        TClass cls = c->ClassType();
        const auto kind = static_cast<Kind>(KindOf(c));
        if (kind == kCopy) {
            auto* copy = cls->Create ? dynamic_cast<TrpDrawCommand*>(cls->Create(nullptr)) : nullptr;
            // As a page copy does: a command no class can make is left out.
            if (copy == nullptr) continue;
            copy->Assign(c);
            stored->copies.emplace_back(copy);
            out.Unsigned(0);
            ++stored->commands;
            continue;
        }
        // What the command shares with others goes to the shape, kept once
        // per store; what is its own (place, text) to the page, its place
        // as a change from the last command of that shape on the page.
        shapeKey_.clear();
        variable_.clear();
        Writer fixed(shapeKey_), var(variable_);
        fixed.Byte(kind);
        EncodeCommon(fixed, c, *stored);
        if (kind == kText) {
            EncodeText(fixed, var, static_cast<TrpDrawText*>(c));
        } else if (kind == kLine) {
            auto* l = static_cast<TrpDrawLine*>(c);
            fixed.Signed(static_cast<std::int64_t>(l->linePosition_));
            fixed.Signed(static_cast<std::int64_t>(l->lineStyle_));
            fixed.Unsigned(static_cast<std::uint64_t>(Intern(l->pen_)));
            fixed.Float(l->weight_);
        } else {
            auto* s = static_cast<TrpDrawShape*>(c);
            fixed.Unsigned(static_cast<std::uint64_t>(Intern(s->brush_)));
            fixed.Unsigned(static_cast<std::uint64_t>(Intern(s->pen_)));
            fixed.Signed(static_cast<std::int64_t>(s->shapeType_));
            fixed.Signed(s->xCornerRound_);
            fixed.Signed(s->yCornerRound_);
        }
        const int shape = InternShape(c->ReportComponent != nullptr ? static_cast<const void*>(c->ReportComponent) : cls);
        out.Unsigned(static_cast<std::uint64_t>(shape) + 1);
        Geometry& last = LastGeometry(shape);
        const Geometry now{c->left_, c->top_, c->width_, c->height_};
        for (std::size_t g = 0; g < now.size(); ++g) out.Signed(static_cast<std::int64_t>(now[g]) - last[g]);
        last = now;
        scratch_.append(variable_);
        ++stored->commands;
    }
    stored->bytes.assign(scratch_);
    stored->bytes.shrink_to_fit();
    stored->copies.shrink_to_fit();
    stored->clicks.shrink_to_fit();
    byNumber_[Page->AbsolutePageNo()] = static_cast<int>(pages_.size());
    pages_.push_back(std::move(stored));
}

std::unique_ptr<TrpPage> PageStore::Page(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    const Stored& stored = *pages_[static_cast<std::size_t>(Index)];
    auto page = std::make_unique<TrpPage>(nullptr);
    page->AssignValues(stored.values.get());
    Reader in(stored.bytes);
    std::size_t copy = 0;
    int click = 0;
    std::vector<Geometry> last(shapes_.size(), Geometry{});
    for (int i = 0; i < stored.commands; ++i) {
        const auto number = in.Unsigned();
        Kind kind = kCopy;
        Geometry place{};
        static const std::string kNoShape;
        Reader shape(number > 0 ? *shapes_[number - 1] : kNoShape);
        if (number > 0) {
            kind = static_cast<Kind>(shape.Byte());
            Geometry& before = last[number - 1];
            for (std::size_t g = 0; g < place.size(); ++g) place[g] = static_cast<int32_t>(before[g] + in.Signed());
            before = place;
        }
        TrpDrawCommand* c = nullptr;
        if (kind == kCopy) {
            TrpDrawCommand* source = stored.copies[copy++].get();
            c = dynamic_cast<TrpDrawCommand*>(source->ClassType()->Create(page.get()));
            c->Assign(source);
        } else if (kind == kText) {
            auto* t = new TrpDrawText(page.get());
            DecodeCommon(shape, t, stored, click);
            DecodeText(shape, in, t);
            c = t;
        } else if (kind == kLine) {
            auto* l = new TrpDrawLine(page.get());
            DecodeCommon(shape, l, stored, click);
            l->linePosition_ = static_cast<TrpLinePositionType>(shape.Signed());
            l->lineStyle_ = static_cast<TrpLineStyleType>(shape.Signed());
            l->pen_.Assign(pens_[shape.Unsigned()].get());
            l->weight_ = shape.Float();
            c = l;
        } else {
            auto* s = new TrpDrawShape(page.get());
            DecodeCommon(shape, s, stored, click);
            s->brush_.Assign(brushes_[shape.Unsigned()].get());
            s->pen_.Assign(pens_[shape.Unsigned()].get());
            s->shapeType_ = static_cast<TShapeType>(shape.Signed());
            s->xCornerRound_ = shape.Int();
            s->yCornerRound_ = shape.Int();
            c = s;
        }
        if (kind != kCopy) {
            c->left_ = place[0];
            c->top_ = place[1];
            c->width_ = place[2];
            c->height_ = place[3];
        }
        c->SetPage(page.get());
    }
    return page;
}

int PageStore::IndexOfPage(int AbsolutePageNo) const {
    auto it = byNumber_.find(AbsolutePageNo);
    return it == byNumber_.end() ? -1 : it->second;
}

std::size_t PageStore::MemoryInUse() const {
    std::size_t n = 0;
    for (const auto& p : pages_) {
        n += sizeof(Stored) + sizeof(TrpPage) + p->bytes.capacity() +
             p->copies.capacity() * sizeof(std::unique_ptr<TrpDrawCommand>) +
             p->copies.size() * sizeof(TrpDrawText) + p->clicks.capacity() * sizeof(TNotifyEvent);
    }
    n += fonts_.size() * sizeof(TFont) + pens_.size() * sizeof(TPen) + brushes_.size() * sizeof(TBrush) +
         borders_.size() * sizeof(TrpBorder) + components_.size() * sizeof(TComponent*);
    for (const std::string* shape : shapes_) n += sizeof(std::string) + shape->capacity() + 2 * sizeof(void*);
    return n;
}

}  // namespace report
