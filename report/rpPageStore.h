#pragma once
// A list of finished pages kept compactly: what a viewer or a test keeps of
// a whole report. A page handed in is encoded at once (the original stays
// the caller's) and a page asked for is made anew, equal to the one handed
// in as a copy through TrpPage::Assign would be.
//
// Why not keep copies: a listing page holds a thousand commands, and a
// command object with its font, pen, border and string lists weighs about a
// kilobyte, so a few thousand pages ran into gigabytes. Here the common
// commands (plain text, lines, shapes) are a few bytes each: their fonts,
// pens, brushes and borders are kept once per store and named by number,
// and so is all a command shares with others (its shape); a page keeps of
// each command its shape's number, its place and its text. Any other command class (variables,
// images, rich text, a subclass from a later library) and a named command are
// kept as a copy of their own, so nothing a command holds is ever lost.
//
// Kept as Assign keeps them: the report component that made a command and,
// for a clickable command, its click handler; the page's own values and its
// printer setup. A store is not shared between threads.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "report/rpPage.h"

class TFont;
class TPen;
class TBrush;
class TrpBorder;
class TrpDrawText;
class TrpDrawLine;
class TrpDrawShape;

namespace report {

class PageStore {
public:
    PageStore();
    ~PageStore();
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;

    // Keeps Page as it stands now; nullptr is ignored.
    void Add(TrpPage* Page);
    int Count() const { return static_cast<int>(pages_.size()); }
    // A new page equal to the Index-th one added; nullptr out of range.
    std::unique_ptr<TrpPage> Page(int Index) const;
    // The index of the last page added with that absolute number; -1 when none.
    int IndexOfPage(int AbsolutePageNo) const;
    void Clear();
    // Bytes held for the pages, the shared values and the copies (an
    // estimate: allocator overhead is not counted).
    std::size_t MemoryInUse() const;

private:
    struct Stored;
    class Writer;
    class Reader;

    static int KindOf(TrpDrawCommand* Command);
    int Intern(const TFont& Font);
    int Intern(const TPen& Pen);
    int Intern(const TBrush& Brush);
    int InternFont(const TFont& Font);
    int InternPen(const TPen& Pen);
    int InternBrush(const TBrush& Brush);
    int Intern(const TrpBorder& Border);
    int Intern(TComponent* Component);
    void EncodeCommon(Writer& Out, TrpDrawCommand* Command, Stored& Page);
    void DecodeCommon(Reader& In, TrpDrawCommand* Command, const Stored& Page, int& Click) const;
    // Out takes what a text shares with others, Var what is its own.
    void EncodeText(Writer& Out, Writer& Var, TrpDrawText* Text);
    void DecodeText(Reader& In, Reader& Var, TrpDrawText* Text) const;
    using Geometry = std::array<int32_t, 4>;  // left, top, width, height
    int InternShape(const void* Maker);
    Geometry& LastGeometry(int Shape);

    std::vector<std::unique_ptr<Stored>> pages_;
    std::unordered_map<int, int> byNumber_;
    std::vector<std::unique_ptr<TFont>> fonts_;
    std::vector<std::unique_ptr<TPen>> pens_;
    std::vector<std::unique_ptr<TBrush>> brushes_;
    std::vector<std::unique_ptr<TrpBorder>> borders_;
    std::vector<TComponent*> components_;
    // Each shared value's packed form to its number.
    std::unordered_map<std::string, int> index_;
    std::unordered_map<TComponent*, int> componentIndex_;
    std::string key_;
    std::string scratch_;
    // A packed command is its shape's number, its place and its own values
    // (text): a listing's rows repeat the same few shapes a page down.
    std::vector<const std::string*> shapes_;
    std::unordered_map<std::string, int> shapeIndex_;
    struct GeometryOnPage {
        unsigned page = 0;
        Geometry place{};
    };
    std::vector<GeometryOnPage> geometry_;
    unsigned pageSerial_ = 0;
    std::string shapeKey_;
    std::string variable_;
    // The numbers of the last few fonts and pens found: a page asks for
    // the same few a thousand times, and comparing a value costs less than
    // packing and hashing it.
    static constexpr int kRecent = 4;
    int recentFonts_[kRecent] = {-1, -1, -1, -1};
    // The shape each control's commands had last, by a few bits of the
    // control's address: a control makes one shape row after row.
    static constexpr std::size_t kShapeSlots = 256;
    int recentShapes_[kShapeSlots];
    int recentPens_[kRecent] = {-1, -1, -1, -1};
    int recentBrushes_[kRecent] = {-1, -1, -1, -1};
    unsigned nextFont_ = 0;
    unsigned nextPen_ = 0;
    unsigned nextBrush_ = 0;
};

}  // namespace report
