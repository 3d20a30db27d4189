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
    // Whether every required place of Shown is filled (an empty text counts
    // as filled: nothing was typed).
    bool Complete(const std::string& Shown) const;

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
    explicit TCustomMaskEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}

    const std::string& EditMask() const { return editMask_; }
    void SetEditMask(const std::string& Value);
    bool IsMasked() const { return !mask_.Empty(); }
    // The text as shown, literals and blanks included.
    std::string EditText() const;
    void SetEditText(const std::string& Value);
    // Raises EDBEditError when a required place is empty.
    void ValidateEdit();

protected:
    // Text is the value: without the literals when the mask says so.
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    ui::EditMask mask_;

private:
    std::string editMask_;
};

class TMaskEdit : public TCustomMaskEdit {
public:
    FAT_CLASS_NAME(TMaskEdit)
    explicit TMaskEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {}

protected:
    void DoExit() override;
};
