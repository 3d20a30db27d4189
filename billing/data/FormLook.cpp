#include "billing/data/FormLook.h"

#include <initializer_list>
#include <string>

namespace billing::data {

namespace {

ControlAccess& Access() {
    static ControlAccess access;
    return access;
}

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

void SetControlAccess(ControlAccess AccessValue) {
    Access() = std::move(AccessValue);
}

const ControlAccess& GetControlAccess() {
    return Access();
}

void ChangeColor(TComponent* Form, bool Editing) {
    if (!Form) return;
    const ControlAccess& a = Access();
    std::int64_t colour = kWindowColor;
    if (!Editing) {
        colour = kButtonFaceColor;
        if (a.GetColor) {
            std::int64_t own = 0;
            if (a.GetColor(Form, own)) colour = own;
        }
    }
    auto setColour = [&](TComponent* c) {
        if (a.SetColor) a.SetColor(c, colour);
    };
    auto setEnabled = [&](TComponent* c, bool value) {
        if (a.SetEnabled) a.SetEnabled(c, value);
    };
    for (int i = 0; i < Form->ComponentCount(); ++i) {
        TComponent* c = Form->Components(i);
        std::string name = c->ClassName();
        if (name == "TDBEdit" && a.GetReadOnly && a.GetReadOnly(c)) continue;
        if (OneOf(name, {"TEdit", "TDBEdit", "TDBGrid", "TDBMemo", "TDBImage", "TDBListBox", "TDBLookupListBox",
                         "TDBLookupComboBox", "TDBRichEdit", "TComboBox"})) {
            setColour(c);
        } else if (OneOf(name, {"TDBComboBox", "TDBCheckBox", "TexDBComboDlg", "TexDBDateTimePicker"})) {
            setEnabled(c, Editing);
            setColour(c);
        } else if (name == "TexDBGrid") {
            if (a.SetReadOnly) a.SetReadOnly(c, !Editing);
            setColour(c);
        } else if (name == "TButton") {
            setEnabled(c, Editing);
        }
    }
}

}  // namespace billing::data
