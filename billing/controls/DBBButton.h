#pragma once
// Record-toolbar buttons bound to a data source: each carries one dataset
// action, performs it on click and then runs the form's own OnClick. The
// data-aware kind (TDBButton) also follows the dataset's state so that only
// the actions that can run are enabled.
#include <functional>
#include <memory>
#include <string>

#include <QWidget>

#include "platform/db/DB.h"
#include "platform/rtl/TypInfo.h"
#include "platform/ui/ComCtrls.h"

enum TAcao { Novo, Excluir, Editar, Gravar, Cancelar, Apply, Primeiro, Proximo, Anterior, Ultimo, Atualizar, Fechar,
             Pesquisar };

class TDBButton;

// Publishes its action and its data source: the two settings a form gives
// each button. The platform's buttons carry no metadata of their own, so
// the chain goes straight to the component's.
class TDBBitBtn : public TBitBtn {
public:
    FAT_CLASS(TDBBitBtn)
    explicit TDBBitBtn(TComponent* AOwner);
    ~TDBBitBtn() override;

    TAcao Acao() const { return acao_; }
    // Stores the action and loads its caption and glyph.
    void SetAcao(TAcao Value);
    TDataSource* DataSource() const { return dataSource_; }
    virtual void SetDataSource(TDataSource* Value);
    virtual void UpdateButtonState() {}

    // The action on the data source's dataset, then the form's OnClick. A
    // failing action (a refused save) stops before the form's handler.
    void Click() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // The caption and glyph name an action takes ("&Novo", "BXTNOVO").
    static std::string ActionCaption(TAcao Value);
    static std::string GlyphName(TAcao Value);

protected:
    TDataSource* dataSource_ = nullptr;

private:
    void LoadGlyph();
    TAcao acao_ = Novo;
};

// Tells its button whenever the dataset opens, closes, moves, changes or
// enters or leaves editing.
class TBtnDataLink : public TDataLink {
public:
    FAT_CLASS_NAME(TBtnDataLink)
    explicit TBtnDataLink(TDBButton* Button) : button_(Button) {}

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void EditingChanged() override;

private:
    TDBButton* button_;
};

class TDBButton : public TDBBitBtn {
public:
    FAT_CLASS(TDBButton)
    explicit TDBButton(TComponent* AOwner);
    ~TDBButton() override;

    void SetDataSource(TDataSource* Value) override;
    // Enabled exactly when the action can run in the dataset's state and,
    // when the form sets Allowed, when that says so too (an invoice's NF-e
    // state for Editar and Excluir).
    void UpdateButtonState() override;
    std::function<bool()> Allowed;

private:
    std::unique_ptr<TBtnDataLink> link_;
};
