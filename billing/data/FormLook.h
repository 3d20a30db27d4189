#pragma once
// Switching a form between its browse look and its editing look. The rules
// (which controls change colour, which are enabled or made read-only) live
// here; the window layer supplies how a control's colour, enabled state and
// read-only switch are reached (SetControlAccess at start-up), so this layer
// needs no window toolkit.
#include "platform/rtl/Component.h"

#include <cstdint>
#include <functional>

namespace billing::data {

// The system colours of the class library: the colour of a new edit box and
// of a form's face.
inline constexpr std::int64_t kWindowColor = 0x80000005;
inline constexpr std::int64_t kButtonFaceColor = 0x8000000F;

struct ControlAccess {
    // False when the component has no colour.
    std::function<bool(TComponent* Control, std::int64_t& Color)> GetColor;
    std::function<void(TComponent* Control, std::int64_t Color)> SetColor;
    std::function<void(TComponent* Control, bool Enabled)> SetEnabled;
    std::function<bool(TComponent* Control)> GetReadOnly;
    std::function<void(TComponent* Control, bool ReadOnly)> SetReadOnly;
};

void SetControlAccess(ControlAccess Access);
const ControlAccess& GetControlAccess();

// Editing: every edit, grid, memo, list and combo of the form takes the
// window colour; otherwise the form's own colour. Check boxes, combos and
// date pickers of the data-aware kind are enabled only while editing, the
// outside grid is read-only while browsing, and plain buttons are enabled
// only while editing. A read-only data-aware edit is left alone. Controls are
// told apart by their exact class name.
void ChangeColor(TComponent* Form, bool Editing);

}  // namespace billing::data
