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

}  // namespace ui

// ---------------------------------------------------------------------------

void TCustomMaskEdit::SetEditMask(const std::string& Value) {
    if (Value == editMask_) return;
    std::string value = GetText();
    editMask_ = Value;
    mask_ = ui::EditMask(Value);
    settingText_ = true;
    edit_->setInputMask(ToQt(mask_.QtMask()));
    settingText_ = false;
    SetTextValue(value);
}

std::string TCustomMaskEdit::EditText() const { return ToStd(edit_->displayText()); }

void TCustomMaskEdit::SetEditText(const std::string& Value) {
    settingText_ = true;
    edit_->setText(ToQt(Value));
    settingText_ = false;
}

std::string TCustomMaskEdit::GetText() const {
    if (!IsMasked()) return TCustomEdit::GetText();
    return mask_.ValueOf(ToStd(edit_->displayText()));
}

void TCustomMaskEdit::SetTextValue(const std::string& Value) {
    if (!IsMasked()) {
        TCustomEdit::SetTextValue(Value);
        return;
    }
    if (GetText() == Value) return;
    settingText_ = true;
    edit_->setText(ToQt(mask_.Format(Value)));
    settingText_ = false;
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
