#include "billing/forms/Nota117.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"

using namespace billing::forms;

TfrmNota117* frmNota117 = nullptr;

TfrmNota117::TfrmNota117(TComponent* AOwner)
    : RegisterForm(AOwner, "Título Receber - NOTA117", "titulo_receber", kSql, "id_titulo_receber") {
    SetName("frmNota117");
    qryTitulo_Receber = qry;
    qryTitulo_Receber->SetName("qryTitulo_Receber");
    SetBounds(0, 0, 860, 420);
    dbeId_Titulo_Receber = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Titulo_Receber", dsMain, "Id_Titulo_Receber", "Título", 12, 130, 12, 80);
    dbeId_Titulo_Receber->SetReadOnly(true);
    dbeId_Titulo_Receber->SetColor(Color());
    dbeId_Cliente = PlaceLabeled<TexDBComboDlg>(this, pnlDados, "dbeId_Cliente", dsMain, "Id_Cliente", "Cliente", 12, 130, 40, 90);
    PCliente = Place<TPanel>(this, pnlDados, "PCliente", 226, 40, 320, 23);
    PCliente->SetAlignment(taLeftJustify);
    dbeId_Conta_Corrente = PlaceLabeled<TexDBComboDlg>(this, pnlDados, "dbeId_Conta_Corrente", dsMain, "Id_Conta_Corrente", "Conta Corrente", 12, 130, 68, 90);
    PConta_Corrente = Place<TPanel>(this, pnlDados, "PConta_Corrente", 226, 68, 320, 23);
    PConta_Corrente->SetAlignment(taLeftJustify);

    struct Line {
        const char* name;
        const char* field;
        const char* caption;
        int left, top, width;
        bool date;
    };
    const Line lines[] = {
        {"dbeId_Nota_Fiscal", "Id_Nota_Fiscal", "Nota Fiscal", 12, 96, 90, false},
        {"dbeId_Serie_Documento", "Id_Serie_Documento", "Série", 280, 96, 50, false},
        {"dbeId_Tipo_Moeda", "Id_Tipo_Moeda", "Moeda", 12, 124, 40, false},
        {"dbeId_Especie_Titulo", "Id_Especie_Titulo", "Espécie", 280, 124, 40, false},
        {"dbeId_Instrucao_Bancaria1", "Id_Instrucao_Bancaria1", "Instrução 1", 12, 152, 40, false},
        {"dbeId_Instrucao_Bancaria2", "Id_Instrucao_Bancaria2", "Instrução 2", 280, 152, 40, false},
        {"dbeData_Documento", "Data_Documento", "Documento", 12, 180, 110, true},
        {"dbeData_Vencimento", "Data_Vencimento", "Vencimento", 280, 180, 110, true},
        {"dbeData_Desconto", "Data_Desconto", "Desconto até", 540, 180, 110, true},
        {"dbeDias_Protesto", "Dias_Protesto", "Dias Protesto", 12, 208, 60, false},
        {"dbePercentual_Mora", "Percentual_Mora", "% Mora", 280, 208, 80, false},
        {"dbeValor_Titulo", "Valor_Titulo", "Valor Título", 12, 236, 110, false},
        {"dbeValor_Desconto", "Valor_Desconto", "Valor Desconto", 280, 236, 110, false},
        {"dbeNosso_Numero", "Nosso_Numero", "Nosso Número", 12, 264, 120, false},
        {"dbeDigito_Verificador", "Digito_Verificador", "DV", 280, 264, 30, false},
    };
    for (const Line& l : lines) {
        if (l.date)
            PlaceLabeled<TexDBDateTimePicker>(this, pnlDados, l.name, dsMain, l.field, l.caption, l.left,
                                              l.left + 118, l.top, l.width);
        else
            PlaceLabeled<TDBEdit>(this, pnlDados, l.name, dsMain, l.field, l.caption, l.left, l.left + 118, l.top,
                                  l.width);
    }
    dbeGerou_Arquivo = PlaceDB<TDBCheckBox>(this, pnlDados, "dbeGerou_Arquivo", dsMain, "Gerou_Arquivo", 130, 292,
                                            160, 23);
    dbeGerou_Arquivo->SetCaption("Gerado Arquivo");
    dbeGerou_Arquivo->SetValueChecked("Sim");
    dbeGerou_Arquivo->SetValueUnchecked("Não");
    SetEdits(nullptr, dbeId_Cliente);
    WithoutSearch();
    CloseWithoutAsking();
    AddLookup({dbeId_Cliente, PCliente, "cliente", "nome", "id_cliente", [] { return Pesquisa_Cliente(); }});
    AddLookup({dbeId_Conta_Corrente, PConta_Corrente, "conta_corrente", "descricao", "id_conta_corrente",
               [] { return Pesquisa_Conta_Corrente(); }});
    frmNota117 = this;
}

TfrmNota117::~TfrmNota117() {
    if (frmNota117 == this) frmNota117 = nullptr;
}
