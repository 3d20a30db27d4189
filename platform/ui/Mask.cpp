#include "platform/ui/Mask.h"

#include <QLineEdit>

using ui::ToQt;
using ui::ToStd;

namespace ui {

namespace {

bool QtSpecial(char32_t c) {
    switch (c) {
    case 'A': case 'a': case 'N': case 'n': case 'X': case 'x': case '9': case '0': case 'D': case 'd':
    case '#': case 'H': case 'h': case 'B': case 'b': case '>': case '<': case '!': case '[': case ']':
    case '{': case '}': case '\\': case ';':
        return true;
    default:
        return false;
    }
}

std::u32string U32(const std::string& s) {
    QString q = ToQt(s);
    std::u32string out;
    for (uint c : q.toUcs4()) out += static_cast<char32_t>(c);
    return out;
}

std::string U8(const std::u32string& s) {
    return ToStd(QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size())));
}

// Qt's letter for each input place of the class library's notation. A
// required digit is "0" there and "9" in Qt; an optional one the reverse.
char32_t QtKind(char kind) {
    switch (kind) {
    case 'L': return U'A';
    case 'l': return U'a';
    case 'A': return U'N';
    case 'a': return U'n';
    case 'C': return U'X';
    case 'c': return U'x';
    case '0': return U'9';
    case '9': return U'0';
    default: return U'#';
    }
}

char32_t QtCase(maskutils::CharCase c) {
    switch (c) {
    case maskutils::CharCase::Upper: return U'>';
    case maskutils::CharCase::Lower: return U'<';
    default: return U'!';
    }
}

}  // namespace

EditMask::EditMask(const std::string& Mask) {
    // The class library's "!" (short values against the right) has no Qt
    // counterpart; the layout is the same without it.
    const maskutils::ParsedMask parsed = maskutils::ParseEditMask(Mask);
    saveLiterals_ = parsed.saveLiterals;
    blank_ = parsed.blank;
    std::u32string qt;
    for (const maskutils::MaskSlot& p : parsed.places) {
        if (p.caseMark) qt += QtCase(p.charCase);
        Slot s;
        if (p.literal) {
            s.literal = true;
            s.ch = p.ch;
            if (QtSpecial(p.ch)) qt += U'\\';
            qt += p.ch;
        } else {
            s.required = p.required;
            qt += QtKind(p.kind);
        }
        slots_.push_back(s);
    }
    if (!slots_.empty()) {
        qt += U';';
        qt += blank_;
        qtMask_ = U8(qt);
    }
}

std::string EditMask::ValueOf(const std::string& Shown) const {
    if (slots_.empty()) return Shown;
    std::u32string s = U32(Shown);
    std::u32string out;
    bool any = false;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        char32_t c = i < s.size() ? s[i] : static_cast<char32_t>(blank_);
        if (slot.literal) {
            if (saveLiterals_) out += slot.ch;
            continue;
        }
        if (c == blank_) {
            out += U' ';
        } else {
            out += c;
            any = true;
        }
    }
    if (!any) return "";
    while (!out.empty() && out.back() == U' ') out.pop_back();
    return U8(out);
}

std::string EditMask::Format(const std::string& Value) const {
    if (slots_.empty() || Value.empty()) return Value;
    std::u32string v = U32(Value);
    // A value that already holds the literals in their places is taken as shown.
    bool withLiterals = v.size() >= slots_.size() - 0 && v.size() <= slots_.size();
    if (withLiterals) {
        for (size_t i = 0; i < v.size(); ++i)
            if (slots_[i].literal && v[i] != slots_[i].ch) withLiterals = false;
    }
    bool hasLiteral = false;
    for (const Slot& s : slots_) hasLiteral = hasLiteral || s.literal;
    if (withLiterals && hasLiteral) return Value;
    std::u32string out;
    size_t k = 0;
    for (const Slot& s : slots_) {
        if (s.literal) {
            out += s.ch;
        } else if (k < v.size()) {
            out += v[k++];
        } else {
            out += U' ';
        }
    }
    return U8(out);
}

std::string EditMask::Shown(const std::string& Value) const {
    const std::u32string laid = U32(Format(Value));
    if (slots_.size() != laid.size()) return U8(laid);
    // Up to the last input place that holds a character.
    size_t end = 0;
    for (size_t i = 0; i < slots_.size(); ++i)
        if (!slots_[i].literal && laid[i] != U' ') end = i + 1;
    return U8(laid.substr(0, end));
}

bool EditMask::Complete(const std::string& Shown) const {
    std::u32string s = U32(Shown);
    char32_t blank = blank_;
    bool any = false;
    bool missing = false;
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].literal) continue;
        char32_t c = i < s.size() ? s[i] : blank;
        bool filled = c != blank && c != U' ';
        any = any || filled;
        if (slots_[i].required && !filled) missing = true;
    }
    return !any || !missing;
}

size_t EditMask::Places() const {
    size_t n = 0;
    for (const Slot& s : slots_) n += s.literal ? 0 : 1;
    return n;
}

namespace {

std::vector<std::string> Layouts(const std::string& Mask) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t bar = Mask.find('|', start);
        out.push_back(Mask.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) return out;
        start = bar + 1;
    }
}

// The index of the layout Value takes among Layouts.
size_t LayoutIndex(const std::vector<std::string>& Layouts, const std::string& Value) {
    // The value's characters are its input characters: the literals of the
    // layouts (kept when the mask saves them) and trailing blanks aside.
    const ui::EditMask first(Layouts.front());
    std::u32string literals;
    {
        const std::u32string shown = U32(first.Format(std::string(first.Places(), ' ')));
        for (char32_t c : shown)
            if (c != U' ') literals += c;
    }
    std::u32string v = U32(Value);
    while (!v.empty() && v.back() == U' ') v.pop_back();
    size_t count = 0;
    for (char32_t c : v)
        if (!first.SaveLiterals() || literals.find(c) == std::u32string::npos) ++count;
    for (size_t i = 0; i < Layouts.size(); ++i)
        if (ui::EditMask(Layouts[i]).Places() >= count) return i;
    return Layouts.size() - 1;
}

}  // namespace

std::string EditMask::LayoutFor(const std::string& Mask, const std::string& Value) {
    if (Mask.find('|') == std::string::npos) return Mask;
    const std::vector<std::string> layouts = Layouts(Mask);
    return layouts[LayoutIndex(layouts, Value)];
}

std::string EditMask::LongerLayout(const std::string& Mask, const std::string& Value) {
    if (Mask.find('|') == std::string::npos) return "";
    const std::vector<std::string> layouts = Layouts(Mask);
    const size_t i = LayoutIndex(layouts, Value);
    return i + 1 < layouts.size() ? layouts[i + 1] : std::string();
}

}  // namespace ui

// ---------------------------------------------------------------------------

TCustomMaskEdit::TCustomMaskEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
    // A character taken out may leave a value the shorter layout fits.
    QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this] {
        if (editMask_.find('|') == std::string::npos) return;
        const std::string value = GetText();
        const std::string layout = ui::EditMask::LayoutFor(editMask_, value);
        if (layout == layout_) return;
        const bool atEnd = edit_->cursorPosition() >= FilledEnd();
        UseLayout(layout, value);
        if (atEnd) edit_->setCursorPosition(FilledEnd());
    });
}

int TCustomMaskEdit::FilledEnd() const {
    const std::u32string shown = edit_->displayText().toStdU32String();
    const size_t last = shown.find_last_not_of(mask_.Blank());
    return last == std::u32string::npos ? 0 : static_cast<int>(last + 1);
}

void TCustomMaskEdit::SetEditMask(const std::string& Value) {
    if (Value == editMask_) return;
    std::string value = GetText();
    editMask_ = Value;
    UseLayout(ui::EditMask::LayoutFor(Value, value), value, true);
    SetTextValue(value);
}

void TCustomMaskEdit::UseLayout(const std::string& Layout, const std::string& Value, bool Always) {
    if (Layout == layout_ && !Always && !shownOnly_) return;
    shownOnly_ = false;
    layout_ = Layout;
    mask_ = ui::EditMask(Layout);
    settingText_ = true;
    edit_->setInputMask(ToQt(mask_.QtMask()));
    edit_->setText(ToQt(mask_.Format(Value)));
    settingText_ = false;
}

void TCustomMaskEdit::KeyPressed(char32_t& Key) {
    TCustomEdit::KeyPressed(Key);
    if (Key < U' ' || editMask_.find('|') == std::string::npos || edit_->hasSelectedText()) return;
    if (edit_->cursorPosition() < FilledEnd()) return;
    const std::string value = GetText();
    const std::string longer = ui::EditMask::LongerLayout(editMask_, value);
    if (longer.empty()) return;
    const std::u32string key(1, Key);
    const std::string grown = value + ui::U8(key);
    if (ui::EditMask::LayoutFor(editMask_, grown) == layout_) return;
    // Only a character the longer layout takes there moves the text to it.
    const ui::EditMask next(longer);
    QLineEdit probe;
    probe.setInputMask(ToQt(next.QtMask()));
    probe.setText(ToQt(next.Format(grown)));
    if (next.ValueOf(ToStd(probe.displayText())) != grown) return;
    UseLayout(longer, value);
    edit_->setCursorPosition(FilledEnd());
}

std::string TCustomMaskEdit::EditText() const { return ToStd(edit_->displayText()); }

void TCustomMaskEdit::SetEditText(const std::string& Value) {
    settingText_ = true;
    edit_->setText(ToQt(Value));
    settingText_ = false;
}

std::string TCustomMaskEdit::GetText() const {
    if (!IsMasked()) return TCustomEdit::GetText();
    if (shownOnly_) return shownValue_;
    return mask_.ValueOf(ToStd(edit_->displayText()));
}

void TCustomMaskEdit::SetTextValue(const std::string& Value) {
    if (!IsMasked()) {
        TCustomEdit::SetTextValue(Value);
        return;
    }
    UseLayout(ui::EditMask::LayoutFor(editMask_, Value), Value);
    if (GetText() == Value) return;
    settingText_ = true;
    edit_->setText(ToQt(mask_.Format(Value)));
    settingText_ = false;
}

void TCustomMaskEdit::SetShownValue(const std::string& Value) {
    if (!IsMasked()) {
        SetTextValue(Value);
        return;
    }
    const ui::EditMask layout(ui::EditMask::LayoutFor(editMask_, Value));
    const std::string shown = layout.Shown(Value);
    if (shown == layout.Format(Value)) {
        SetTextValue(Value);
        return;
    }
    // A Qt input mask always shows its literals: the text goes in plain.
    UseLayout(ui::EditMask::LayoutFor(editMask_, Value), Value);
    settingText_ = true;
    edit_->setInputMask(QString());
    edit_->setText(ToQt(shown));
    settingText_ = false;
    shownOnly_ = true;
    shownValue_ = Value;
}

void TCustomMaskEdit::ValidateEdit() {
    if (IsMasked() && !mask_.Complete(EditText()))
        throw EDBEditError("Valor inválido. Use a tecla Esc para abandonar as alterações.");
}

void TMaskEdit::DoExit() {
    try {
        ValidateEdit();
    } catch (...) {
        SetFocus();
        throw;
    }
    TCustomMaskEdit::DoExit();
}
