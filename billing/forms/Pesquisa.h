#pragma once
// Lookups: a query shown in a modal grid, the user picks a row, its key comes
// back as text ("" when cancelled). Inside the grid a find dialog jumps to
// the first row whose chosen column matches.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/db/DB.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

class TfrmPesquisa : public TForm {
public:
    FAT_CLASS_NAME(TfrmPesquisa)
    explicit TfrmPesquisa(TComponent* AOwner);
    ~TfrmPesquisa() override;

    TDataSource* dsMain = nullptr;
    TexDBGrid* dbGrid = nullptr;
    TStatusBar* StatusBar = nullptr;
    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* mnuLocalizar = nullptr;
    TMenuItem* mnuOk = nullptr;
    TMenuItem* mnuCancelar = nullptr;
    TButton* btnLocalizar = nullptr;
    TButton* BitBtn1 = nullptr;  // OK
    TButton* BitBtn2 = nullptr;  // Cancelar
    // The column the find dialog proposes.
    std::string CampoDefault;

    void FormShow(TObject* Sender);
    void mnuOkClick(TObject* Sender);
    void mnuCancelarClick(TObject* Sender);
    void mnuLocalizarClick(TObject* Sender);
    void Dialogo_Localizar(const std::string& Inicio);
    void dbGridKeyPress(TObject* Sender, char32_t& Key);
    void dbGridKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void BitBtn2Click(TObject* Sender);
};

class TfrmLocalizar : public TForm {
public:
    FAT_CLASS_NAME(TfrmLocalizar)
    explicit TfrmLocalizar(TComponent* AOwner);
    ~TfrmLocalizar() override;

    TComboBox* cbFields = nullptr;
    TEdit* edtLocalizar = nullptr;
    TComboBox* cbCoincidir = nullptr;
    TCheckBox* chkMaiscula = nullptr;
    TButton* btnOk = nullptr;
    TButton* btnCancelar = nullptr;
    TDataSet* tbFields = nullptr;  // campo_nome, campo_label
    TDataSource* dsMain = nullptr;  // the searched dataset
    std::string CampoDefault;

    void FormShow(TObject* Sender);
    // Goes to the first row whose chosen column holds the text: anywhere in
    // it ("Qualquer parte do Campo") or the whole of it ("Campo Inteiro"),
    // in any case unless the check box asks. A search that finds nothing
    // says so and leaves the row.
    void btnOkClick(TObject* Sender);
    void btnCancelarClick(TObject* Sender);

private:
    // The first row, from the start, whose Field contains Text.
    static bool FindAnywhere(TDataSet* Data, const std::string& Field, const std::string& Text, bool MatchCase,
                             bool Whole = false);
};

// The forms while shown (tests and the main window reach them here).
extern TfrmPesquisa* frmPesquisa;
extern TfrmLocalizar* frmLocalizar;

namespace billing::forms {

// 0 title, 1 SQL, 2 key column returned, 3 default search column.
using LookupParams = std::array<std::string, 4>;

// Runs the query on the data module's connection, dresses its columns
// ("field;label[;mask][;width]") and shows it; the chosen row's key, or ""
// when cancelled. A column naming a field the query lacks raises.
std::string Pesquisa(const LookupParams& Params, const std::vector<std::string>& Columns);

}  // namespace billing::forms

// One lookup per register: the chosen key, "" when cancelled.
std::string Pesquisa_cfop();
std::string Pesquisa_Cliente();
std::string Pesquisa_Vendedor();
std::string Pesquisa_Usuario();
std::string Pesquisa_Transportador();
std::string Pesquisa_Unidade_Medida();
std::string Pesquisa_Conta_Corrente();
std::string Pesquisa_Condicao_Pagamento();
std::string Pesquisa_Nota_Fiscal();
std::string Pesquisa_Romaneio();
std::string Pesquisa_Produto_Estrutura();
std::string Pesquisa_Produto();
std::string Pesquisa_Febraban();
std::string Pesquisa_Situacao_Tributaria();
std::string Pesquisa_Municipio();
std::string Pesquisa_Serie_Documento();
