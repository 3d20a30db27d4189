#include "billing/controls/DBBButton.h"

#include <QApplication>

#include "platform/ui/Desktop.h"
#include "platform/ui/Dialogs.h"

namespace {

struct ActionLook {
    const char* caption;
    const char* glyph;
    const char* icon;  // the desktop theme's name for the glyph
    bool hasGlyph;
};

// The glyph names stay as the forms know them; on this desktop they are drawn
// from the icon theme, and "Fechar" has none, as always.
const ActionLook& Look(TAcao Value) {
    static const ActionLook looks[] = {
        {"&Novo", "BXTNOVO", "document-new", true},
        {"E&xcluir", "BXTEXCLUIR", "edit-delete", true},
        {"&Editar", "BXTEDITAR", "accessories-text-editor", true},
        {"&Salvar", "BXTGRAVAR", "document-save", true},
        {"&Desfazer", "BXTCANCELAR", "edit-undo", true},
        {"Apply Updates", "BXTAPLICAR", "document-send", true},
        {"Primeiro", "BXTPRIMEIRO", "go-first", true},
        {"Próximo", "BXTPROXIMO", "go-next", true},
        {"Anterior", "BXTANTERIOR", "go-previous", true},
        {"Último", "BXTULTIMO", "go-last", true},
        {"Atualizar", "BXTATUALIZAR", "view-refresh", true},
        {"Fechar", "BXTFECHAR", "window-close", false},
        {"Pesquisar", "BXTPESQUISAR", "edit-find", true},
    };
    int i = static_cast<int>(Value);
    if (i < 0 || i > static_cast<int>(Pesquisar)) i = 0;
    return looks[i];
}

const TTypeInfo* AcaoTypeInfo() {
    static const TTypeInfo* t = typinfo::Keep(MakeEnumTypeInfo(
        "TAcao", {"Novo", "Excluir", "Editar", "Gravar", "Cancelar", "Apply", "Primeiro", "Proximo", "Anterior",
                  "Ultimo", "Atualizar", "Fechar", "Pesquisar"}));
    return t;
}

bool ConfirmDelete() {
    ui::BoxRequest request;
    request.kind = ui::BoxKind::Message;
    request.caption = "Excluir";
    request.text = "Confirma a exclusão do Registro ?";
    request.type = mtConfirmation;
    request.buttons = mbYesNo;
    request.defaultButton = mbYes;
    return ui::Dialogs().Show(request).result == mrYes;
}

}  // namespace

TClass TDBBitBtn::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TDBBitBtn>("TDBBitBtn", TComponent::StaticClassType())
                                       .Enum("Acao", AcaoTypeInfo(), &TDBBitBtn::Acao, &TDBBitBtn::SetAcao, Novo)
                                       .Object("DataSource", TDataSource::StaticClassType(), &TDBBitBtn::DataSource,
                                               &TDBBitBtn::SetDataSource)
                                       .Build();
    return &info;
}

TClass TDBButton::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TDBButton>("TDBButton", TDBBitBtn::StaticClassType()).Build();
    return &info;
}

// ---------------------------------------------------------------------------
// TDBBitBtn

TDBBitBtn::TDBBitBtn(TComponent* AOwner) : TBitBtn(AOwner) {
    SetCaption("Novo");
    LoadGlyph();
}

TDBBitBtn::~TDBBitBtn() {
    if (dataSource_ != nullptr) dataSource_->RemoveFreeNotification(this);
}

std::string TDBBitBtn::ActionCaption(TAcao Value) { return Look(Value).caption; }
std::string TDBBitBtn::GlyphName(TAcao Value) { return Look(Value).glyph; }

void TDBBitBtn::SetAcao(TAcao Value) {
    acao_ = Value;
    SetCaption(Look(Value).caption);
    LoadGlyph();
}

void TDBBitBtn::LoadGlyph() {
    const ActionLook& look = Look(acao_);
    if (!look.hasGlyph || QApplication::instance() == nullptr) {
        SetGlyph(QIcon());
        return;
    }
    SetGlyph(ui::ThemeIcon(look.icon));
}

void TDBBitBtn::SetDataSource(TDataSource* Value) {
    if (dataSource_ == Value) return;
    if (dataSource_ != nullptr) dataSource_->RemoveFreeNotification(this);
    dataSource_ = Value;
    if (dataSource_ != nullptr) dataSource_->FreeNotification(this);
}

void TDBBitBtn::Notification(TComponent* AComponent, TOperation Operation) {
    TBitBtn::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == dataSource_) SetDataSource(nullptr);
}

void TDBBitBtn::Click() {
    TDataSet* data = dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
    if (data != nullptr) {
        switch (acao_) {
        case Novo: data->Insert(); break;
        case Excluir:
            if (ConfirmDelete()) data->Delete();
            break;
        case Editar: data->Edit(); break;
        case Gravar: data->Post(); break;
        case Cancelar: data->Cancel(); break;
        case Apply: break;  // no dataset here keeps cached updates
        case Primeiro: data->First(); break;
        case Proximo: data->Next(); break;
        case Anterior: data->Prior(); break;
        case Ultimo: data->Last(); break;
        case Atualizar: data->Refresh(); break;
        case Fechar:
        case Pesquisar: break;
        }
    }
    TBitBtn::Click();
}

// ---------------------------------------------------------------------------
// TBtnDataLink

void TBtnDataLink::ActiveChanged() {
    TDataLink::ActiveChanged();
    button_->UpdateButtonState();
}

void TBtnDataLink::DataSetChanged() {
    TDataLink::DataSetChanged();
    button_->UpdateButtonState();
}

void TBtnDataLink::EditingChanged() {
    TDataLink::EditingChanged();
    button_->UpdateButtonState();
}

// ---------------------------------------------------------------------------
// TDBButton

TDBButton::TDBButton(TComponent* AOwner) : TDBBitBtn(AOwner), link_(std::make_unique<TBtnDataLink>(this)) {
    UpdateButtonState();
}

TDBButton::~TDBButton() {
    link_->SetDataSource(nullptr);
}

void TDBButton::SetDataSource(TDataSource* Value) {
    TDBBitBtn::SetDataSource(Value);
    if (link_) link_->SetDataSource(Value);
    UpdateButtonState();
}

void TDBButton::UpdateButtonState() {
    if (!link_ || !link_->Active() || link_->DataSet() == nullptr) {
        SetEnabled(false);
        return;
    }
    TDataSet* data = link_->DataSet();
    TDataSetState state = data->State();
    bool browse = state == dsBrowse;
    bool enabled = false;
    switch (Acao()) {
    case Novo: enabled = browse; break;
    case Excluir:
    case Editar:
    case Pesquisar: enabled = browse && !data->IsEmpty(); break;
    case Gravar:
    case Cancelar: enabled = state == dsEdit || state == dsInsert || state == dsSetKey; break;
    case Apply: enabled = data->Modified(); break;
    case Primeiro:
    case Anterior: enabled = browse && !data->Bof(); break;
    case Proximo:
    case Ultimo: enabled = browse && !data->Eof(); break;
    case Atualizar:
    case Fechar: enabled = true; break;
    }
    if (enabled && Allowed) enabled = Allowed();
    SetEnabled(enabled);
}
