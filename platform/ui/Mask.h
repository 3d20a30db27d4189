#pragma once
// Masked edits. The class library writes a mask as "mask;save literals;blank"
// ("99999-999;0; "); Qt writes its own kind of input mask, with "0" and "9"
// the other way round. ui::EditMask reads the first and speaks the second.
#include <string>
#include <vector>

#include "platform/rtl/MaskUtils.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/StdCtrls.h"

FAT_DECLARE_EXCEPTION(EDBEditError, Exception)

namespace ui {

class EditMask {
public:
    EditMask() = default;
    explicit EditMask(const std::string& Mask);

    bool Empty() const { return slots_.empty(); }
    // The Qt input mask ("99999-999; " for "00000-000;0; ").
    const std::string& QtMask() const { return qtMask_; }
    // Whether the value keeps the literals (the mask's second field).
    bool SaveLiterals() const { return saveLiterals_; }
    char32_t Blank() const { return blank_; }

    // The value a field stores from what the edit shows: the literals taken
    // out unless they are saved, unfilled places as blanks, trailing blanks
    // dropped.
    std::string ValueOf(const std::string& Shown) const;
    // What the edit shows for a stored value (with or without literals).
    std::string Format(const std::string& Value) const;
    // The value laid out for reading rather than typing: as Format, without
    // the blanks and literals after its last character ("1.01.00", not
    // "1.01.00 .   ", for five digits of "#.##.###.###").
    std::string Shown(const std::string& Value) const;
    // Whether every required place of Shown is filled (an empty text counts
    // as filled: nothing was typed).
    bool Complete(const std::string& Shown) const;

    // The number of input places.
    size_t Places() const;

    // A mask may give several layouts of the same kind of value, separated
    // by "|" and shortest first ("(##) ####-####;0; |(##) #####-####;0; ":
    // a landline and a mobile number). A value is laid out in the first one
    // with room for all its characters, the last one when none has.
    static std::string LayoutFor(const std::string& Mask, const std::string& Value);
    // The layout after the one Value takes, or "" when there is none.
    static std::string LongerLayout(const std::string& Mask, const std::string& Value);

private:
    struct Slot {
        bool literal = false;
        char32_t ch = 0;        // the literal
        bool required = false;  // an input place that must be filled
    };
    std::vector<Slot> slots_;
    std::string qtMask_;
    bool saveLiterals_ = true;
    char32_t blank_ = U'_';
};

}  // namespace ui

class TCustomMaskEdit : public TCustomEdit {
public:
    FAT_CLASS_NAME(TCustomMaskEdit)
    explicit TCustomMaskEdit(TComponent* AOwner);

    const std::string& EditMask() const { return editMask_; }
    void SetEditMask(const std::string& Value);
    bool IsMasked() const { return !mask_.Empty(); }
    // The text as shown, literals and blanks included.
    std::string EditText() const;
    void SetEditText(const std::string& Value);
    // Raises EDBEditError when a required place is empty.
    void ValidateEdit();
    // Shows Value to be read, not typed (a data-aware edit without the
    // focus): a value that leaves input places empty shows without the
    // mask's blanks and literals after it. The next SetTextValue lays the
    // mask out again for typing.
    void SetShownValue(const std::string& Value);

protected:
    // Text is the value: without the literals when the mask says so.
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    // A character typed into the full shorter layout of a mask with several
    // moves the text to the next layout first, so that nothing typed is lost.
    void KeyPressed(char32_t& Key) override;
    ui::EditMask mask_;

private:
    // Lays the edit out in the layout that fits Value (masks with several).
    void UseLayout(const std::string& Layout, const std::string& Value, bool Always = false);
    // Where the typed text ends in the edit.
    int FilledEnd() const;
    std::string editMask_;
    std::string layout_;
    // Shown without the Qt mask (SetShownValue): the value it stands for.
    bool shownOnly_ = false;
    std::string shownValue_;
};

class TMaskEdit : public TCustomMaskEdit {
public:
    FAT_CLASS_NAME(TMaskEdit)
    explicit TMaskEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {}

protected:
    void DoExit() override;
};
