#pragma once
// A small client form with one control of every data-aware kind, over a
// query of a SQLite file: the tests drive it offscreen and the demo program
// shows it for the screenshot.
#include <memory>
#include <string>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace sample {

// Creates the tables and the one client row.
inline void CreateDatabase(const std::string& Path) {
    sqlite::OpenOptions o;
    o.create = true;
    sqlite::Database db(Path, o);
    db.Exec(sqlite::CreateTableSql("Cliente", {{"Id_Cliente", "text(7)", false, true},
                                               {"Nome", "text(50)"},
                                               {"Natureza", "text(10)"},
                                               {"Cep", "text(8)"},
                                               {"Inativo", "text(3)"},
                                               {"Data_Cadastro", "date/time"},
                                               {"Id_Vendedor", "integer"},
                                               {"Id_Municipio", "integer"},
                                               {"Observacao", "memo"},
                                               {"Historico", "memo"}}));
    db.Exec(sqlite::CreateTableSql("Vendedor", {{"Id_Vendedor", "integer", false, true}, {"Nome", "text(50)"}}));
    db.Exec("insert into Vendedor values (1, 'João Gonçalves'), (2, 'Márcia Araújo')");
    db.Exec("insert into Cliente values ('0000421', 'Padaria Pão de Açúcar Ltda', 'Jurídica', '01310100', 'Não', "
            "'2024-03-15T00:00:00', 1, 3550308, 'Entrega às terças-feiras.', null)");
}

class ClientForm : public TForm {
public:
    ClientForm(TComponent* Owner, const std::string& DatabasePath) : TForm(Owner) {
        SetCaption("Clientes - NOTA100");
        SetBounds(0, 0, 560, 420);

        conn = new TSQLConnection(this);
        conn->SetConnectionString("Data Source=" + DatabasePath);
        conn->SetLoginPrompt(false);
        conn->Open();
        qryCliente = new TSQLQuery(this);
        qryCliente->SetConnection(conn);
        qryCliente->SetSQL("select * from Cliente order by Id_Cliente");
        qryVendedor = new TSQLQuery(this);
        qryVendedor->SetConnection(conn);
        qryVendedor->SetSQL("select * from Vendedor order by Nome");
        dsMain = new TDataSource(this);
        dsMain->SetDataSet(qryCliente);
        dsVendedor = new TDataSource(this);
        dsVendedor->SetDataSet(qryVendedor);

        qryVendedor->Open();
        qryCliente->Open();
        qryCliente->FieldByName("Id_Cliente")->SetEditMask("######-#;0; ");
        qryCliente->FieldByName("Cep")->SetEditMask("99999-999;0; ");

        StatusBar = new TStatusBar(this);
        StatusBar->SetParent(this);
        StatusBar->AddPanel()->SetText("Registro:");
        StatusBar->Panels(0)->SetWidth(120);
        StatusBar->AddPanel()->SetText("Situação: em edição");

        pnlBotoes = new TPanel(this);
        pnlBotoes->SetParent(this);
        pnlBotoes->SetHeight(38);
        pnlBotoes->SetAlign(alBottom);
        btnSave = Button(pnlBotoes, "&Salvar", 8);
        btnCancel = Button(pnlBotoes, "&Desfazer", 96);
        int y = 12;
        dbeId_Cliente = Edit<TDBEdit>("Código", "Id_Cliente", y, 90);
        dbeNome = Edit<TDBEdit>("Nome", "Nome", y, 300);
        dbeNatureza = Edit<TDBComboBox>("Natureza", "Natureza", y, 120);
        dbeNatureza->Items()->Add("Física");
        dbeNatureza->Items()->Add("Jurídica");
        dbeNatureza->SetStyle(csDropDownList);
        dbeCep = Edit<TDBEdit>("CEP", "Cep", y, 90);
        dbeData_Cadastro = Edit<TexDBDateTimePicker>("Dt Cadastro", "Data_Cadastro", y, 110);
        dbeId_Vendedor = Edit<TDBLookupComboBox>("Vendedor", "Id_Vendedor", y, 200);
        dbeId_Vendedor->SetListSource(dsVendedor);
        dbeId_Vendedor->SetKeyField("Id_Vendedor");
        dbeId_Vendedor->SetListField("Nome");
        dbeId_Municipio = Edit<TexDBComboDlg>("Município", "Id_Municipio", y, 110);
        dbeObservacao = Edit<TDBMemo>("Observações", "Observacao", y, 300, 48);
        dbeHistorico = Edit<TexDBRichEdit>("Histórico", "Historico", y, 300, 48);
        chkInativo = new TDBCheckBox(this);
        chkInativo->SetParent(this);
        chkInativo->SetBounds(110, y, 120, 20);
        chkInativo->SetCaption("Inativo");
        chkInativo->SetValueChecked("Sim");
        chkInativo->SetValueUnchecked("Não");
        chkInativo->SetDataSource(dsMain);
        chkInativo->SetDataField("Inativo");

        SetKeyPreview(true);
        OnKeyDown = [this](TObject*, Word& Key, TShiftState) {
            if (Key == VK_RETURN || Key == VK_DOWN) SelectNext(ActiveControl(), true, true);
            else if (Key == VK_UP) SelectNext(ActiveControl(), false, true);
        };
        OnKeyPress = [](TObject*, char32_t& Key) {
            if (Key == U'\r') Key = 0;
        };
        btnSave->OnClick = [this](TObject*) { qryCliente->Post(); };
        btnCancel->OnClick = [this](TObject*) { qryCliente->Cancel(); };

        StatusBar->Panels(0)->SetText("Registro: 1 de " + std::to_string(qryCliente->RecordCount()));
    }

    TSQLConnection* conn;
    TSQLQuery* qryCliente;
    TSQLQuery* qryVendedor;
    TDataSource* dsMain;
    TDataSource* dsVendedor;
    TPanel* pnlBotoes;
    TButton* btnSave;
    TButton* btnCancel;
    TStatusBar* StatusBar;
    TDBEdit* dbeId_Cliente;
    TDBEdit* dbeNome;
    TDBComboBox* dbeNatureza;
    TDBEdit* dbeCep;
    TexDBDateTimePicker* dbeData_Cadastro;
    TDBLookupComboBox* dbeId_Vendedor;
    TexDBComboDlg* dbeId_Municipio;
    TDBMemo* dbeObservacao;
    TexDBRichEdit* dbeHistorico;
    TDBCheckBox* chkInativo;

private:
    TButton* Button(TWinControl* Parent, const std::string& Caption, int Left) {
        auto* b = new TButton(this);
        b->SetParent(Parent);
        b->SetBounds(Left, 6, 80, 26);
        b->SetCaption(Caption);
        return b;
    }

    template <typename T>
    T* Edit(const std::string& Caption, const std::string& Field, int& Y, int Width, int Height = 22) {
        auto* l = new TLabel(this);
        l->SetParent(this);
        l->SetBounds(12, Y + 3, 95, 16);
        l->SetCaption(Caption);
        auto* e = new T(this);
        e->SetParent(this);
        e->SetBounds(110, Y, Width, Height);
        e->SetDataSource(dsMain);
        e->SetDataField(Field);
        Y += Height + 6;
        return e;
    }
};

}  // namespace sample
