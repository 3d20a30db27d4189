#include "billing/forms/Nota117.h"

#include <cmath>
#include <string>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "billing/listings/BandPlacing.h"
#include "billing/listings/ColumnFit.h"
#include "billing/listings/ReportLibrary.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpPrinterSetup.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpTextControls.h"

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
    dbeGerou_Arquivo->SetCaption("&Gerado Arquivo");
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

namespace {

using billing::listings::mm;

// The slip is drawn in millimetres from the detail band's top-left corner.
struct Slip {
    TComponent* owner;
    TrpBand* band;

    template <class T>
    T* Put(const std::string& Name, double Left, double Top, double Width, double Height) const {
        return billing::listings::Put<T>(owner, band, Name, Left, Top, Width, Height);
    }
    template <class T>
    T* Text(T* Control, int Size, bool Bold) const {
        Control->SetAutoSize(false);
        Control->SetTransparent(true);
        Control->Font()->SetName("Arial");
        Control->Font()->SetSize(Size);
        TFontStyles style;
        if (Bold) style.Include(fsBold);
        Control->Font()->SetStyle(style);
        return Control;
    }
    // A box's caption: small, in the box's top-left corner.
    TrpLabel* Caption(const std::string& Name, const std::string& Text_, double Left, double Top, double Width,
                      int Size = 6, bool Bold = false) const {
        auto* l = Text(Put<TrpLabel>(Name, Left, Top, Width, Size * 0.45), Size, Bold);
        l->SetCaption(Text_);
        return l;
    }
    TrpDBText* Field(const std::string& Name, TrpDBPipeline* Pipeline, const std::string& FieldName,
                     const std::string& Format, double Left, double Top, double Width,
                     TrpTextAlignment Align = taLeftJustified) const {
        auto* t = Text(Put<TrpDBText>(Name, Left, Top, Width, 4.2), 9, false);
        t->SetDataPipeline(Pipeline);
        t->SetDataField(FieldName);
        t->SetDisplayFormat(Format);
        t->SetTextAlignment(Align);
        return t;
    }
    void Rule(const std::string& Name, double Left, double Top, double Width, TrpLineStyleType Style = lsSingle) const {
        auto* l = Put<TrpLine>(Name, Left, Top, Width, 0.3);
        l->SetPosition(lpTop);
        l->SetStyle(Style);
    }
    void Bar(const std::string& Name, double Left, double Top, double Height) const {
        Put<TrpLine>(Name, Left, Top, 0.3, Height)->SetPosition(lpLeft);
    }
    TrpDBImage* Logo(const std::string& Name, TrpDBPipeline* Pipeline, const std::string& FieldName, double Left,
                     double Top) const {
        // The logo is kept as a file name: the image reads the file it names.
        auto* i = Put<TrpDBImage>(Name, Left, Top, 40, 12);
        i->SetDataPipeline(Pipeline);
        i->SetDataField(FieldName);
        i->SetStretch(true);
        i->SetMaintainAspectRatio(true);
        return i;
    }
    TrpMemo* Memo(const std::string& Name, double Left, double Top, double Width, double Height) const {
        auto* m = Text(Put<TrpMemo>(Name, Left, Top, Width, Height), 8, false);
        m->SetStretch(false);
        return m;
    }
};

TrpDBPipeline* Pipeline(TComponent* Owner, const std::string& Name, TDataSource* Source) {
    auto* p = new TrpDBPipeline(Owner);
    p->SetName(Name);
    p->SetUserName(Name);
    p->SetDataSource(Source);
    return p;
}

TSQLQuery* Query(TComponent* Owner, const std::string& Name, const std::string& Sql, TDataSource*& Source) {
    auto* q = new TSQLQuery(Owner);
    q->SetName(Name);
    q->SetConnection(dmdb->ADOConnection);
    q->SetSQL(Sql);
    Source = new TDataSource(Owner);
    Source->SetName("ds" + Name.substr(3));
    Source->SetDataSet(q);
    return q;
}

std::string Column(TSQLQuery* Query, const char* Name) {
    if (!Query->Active() || Query->IsEmpty()) return "";
    TField* f = Query->FindField(Name);
    return f != nullptr && !f->IsNull() ? Trim(f->AsString()) : std::string();
}

std::string Joined(std::initializer_list<std::string> Parts, const char* Between) {
    std::string out;
    for (const std::string& p : Parts) {
        if (p.empty()) continue;
        if (!out.empty()) out += Between;
        out += p;
    }
    return out;
}

}  // namespace

TrpReport* TfrmNota117::Bloqueto() {
    if (rpBloqueto == nullptr) CriaBloqueto();
    return rpBloqueto;
}

void TfrmNota117::CriaBloqueto() {
    billing::listings::UseReportLibrary();
    qryEmitente = Query(this, "qryEmitente", "select * from emitente", dsEmitente);
    qryCliente = Query(this, "qryCliente",
                       "select c.*, m.nome as municipio, u.uf from cliente c"
                       " left join municipio m on m.id_municipio = c.id_municipio"
                       " left join uf u on u.id_uf = m.id_uf where c.id_cliente = :pid_cliente",
                       dsCliente);
    qryConta_Corrente = Query(this, "qryConta_Corrente",
                              "select c.*, f.nome as banco, f.nome_fantasia, f.arquivo_logotipo"
                              " from conta_corrente c left join febraban f on f.id_febraban = c.id_febraban"
                              " where c.id_conta_corrente = :pid_conta_corrente",
                              dsConta_Corrente);
    dsTitulo = new TDataSource(this);
    dsTitulo->SetName("dsTitulo");
    dsTitulo->SetDataSet(qryTitulo_Receber);
    plTitulo_Receber = Pipeline(this, "plTitulo_Receber", dsTitulo);
    plEmitente = Pipeline(this, "plEmitente", dsEmitente);
    plCliente = Pipeline(this, "plCliente", dsCliente);
    plConta_Corrente = Pipeline(this, "plConta_Corrente", dsConta_Corrente);

    rpBloqueto = new TrpReport(this);
    rpBloqueto->SetName("rpBloqueto");
    TrpPrinterSetup* setup = rpBloqueto->PrinterSetup();
    setup->SetPaperName("A4");
    setup->SetOrientation(poPortrait);
    setup->SetDocumentName("Bloqueto");
    TrpPageDef* page = setup->PageDef();
    page->SetmmWidth(210000);
    page->SetmmHeight(297000);
    for (auto set : {&TrpPageDef::SetmmMarginLeft, &TrpPageDef::SetmmMarginRight, &TrpPageDef::SetmmMarginTop,
                     &TrpPageDef::SetmmMarginBottom})
        (page->*set)(10000);
    rpBloqueto->SetDataPipeline(plTitulo_Receber);
    rpBloqueto->CreateDefaultBands();
    TrpBand* detail = rpBloqueto->DetailBand();
    // One slip a page: two would not fit.
    detail->SetmmHeight(mm(200));
    detail->BeforePrint = [this](TObject*) { Le_Titulo(); };

    const Slip s{this, detail};
    const double W = 190;
    // The payer's receipt.
    imgLogotipo_Emitente = s.Logo("imgLogotipo_Emitente", plEmitente, "Arquivo_Logotipo", 0, 0);
    imgLogotipo_Banco_Recibo = s.Logo("imgLogotipo_Banco_Recibo", plConta_Corrente, "arquivo_logotipo", 50, 0);
    s.Text(s.Put<TrpLabel>("lblRecibo", 120, 6, 70, 5), 11, true)->SetCaption("Recibo do Sacado");
    s.Rule("linRecibo1", 0, 13, W);
    s.Caption("lblCedente1", "Cedente", 1, 14, 60);
    mmoCedente = s.Memo("mmoCedente", 1, 17, 118, 13);
    // The column on the right ends at the rule over the payer, whose box
    // spans the slip.
    s.Bar("barRecibo1", 120, 13, 27);
    s.Caption("lblAgencia1", "Agência / Código do Cedente", 121, 14, 68);
    s.Field("txtAgencia1", plConta_Corrente, "agencia", "", 121, 17, 20);
    s.Field("txtCodigo_Cedente1", plConta_Corrente, "codigo_cedente", "", 141, 17, 48);
    s.Rule("linRecibo2", 120, 23, W - 120);
    s.Caption("lblVencimento1", "Vencimento", 121, 24, 68);
    s.Field("txtVencimento1", plTitulo_Receber, "Data_Vencimento", "dd/mm/yyyy", 121, 27, 68, taRightJustified);
    s.Rule("linRecibo3", 0, 31, W);
    s.Caption("lblDocumento1", "Número do Documento", 1, 32, 40);
    s.Field("txtDocumento1", plTitulo_Receber, "Id_Nota_Fiscal", "", 1, 35, 40);
    s.Caption("lblNosso_Numero1", "Nosso Número", 61, 32, 50);
    s.Field("txtNosso_Numero1", plTitulo_Receber, "Nosso_Numero", "", 61, 35, 40);
    s.Field("txtDigito1", plTitulo_Receber, "Digito_Verificador", "", 101, 35, 8);
    s.Caption("lblValor1", "Valor do Documento", 121, 32, 68);
    s.Field("txtValor1", plTitulo_Receber, "Valor_Titulo", "#,##0.00", 121, 35, 68, taRightJustified);
    s.Rule("linRecibo4", 0, 40, W);
    s.Caption("lblSacado1", "Sacado", 1, 41, 60);
    s.Field("txtSacado1", plCliente, "Nome", "", 1, 44, W - 2);
    s.Rule("linRecibo5", 0, 49, W);
    s.Caption("lblAutenticacao1", "Autenticação Mecânica", 140, 50, 50);
    s.Rule("linCorte", 0, 70, W, lsDouble);
    s.Caption("lblCorte", "Corte na linha pontilhada", 150, 71, 40);

    // The bank's part.
    const double T = 78;
    imgLogotipo_Banco = s.Logo("imgLogotipo_Banco", plConta_Corrente, "arquivo_logotipo", 0, T);
    s.Field("txtBanco", plConta_Corrente, "banco", "", 45, T + 7, 90);
    s.Rule("linFicha1", 0, T + 13, W);
    s.Caption("lblLocal", "Local de Pagamento", 1, T + 14, 60);
    s.Text(s.Put<TrpLabel>("lblLocal_Pagamento", 1, T + 17, 118, 4.2), 9, false)
        ->SetCaption("Pagável em qualquer banco até o vencimento");
    s.Bar("barFicha1", 140, T + 13, 59);
    s.Caption("lblVencimento", "Vencimento", 141, T + 14, 48);
    s.Field("txtVencimento", plTitulo_Receber, "Data_Vencimento", "dd/mm/yyyy", 141, T + 17, 48, taRightJustified);
    s.Rule("linFicha2", 0, T + 22, W);
    s.Caption("lblCedente", "Cedente", 1, T + 23, 60);
    s.Field("txtCedente", plEmitente, "Nome", "", 1, T + 26, 138);
    s.Caption("lblAgencia", "Agência / Código do Cedente", 141, T + 23, 48);
    s.Field("txtAgencia", plConta_Corrente, "agencia", "", 141, T + 26, 14);
    s.Field("txtCodigo_Cedente", plConta_Corrente, "codigo_cedente", "", 155, T + 26, 34, taRightJustified);
    s.Rule("linFicha3", 0, T + 31, W);
    s.Caption("lblData_Documento", "Data do Documento", 1, T + 32, 35);
    s.Field("txtData_Documento", plTitulo_Receber, "Data_Documento", "dd/mm/yyyy", 1, T + 35, 35);
    s.Caption("lblDocumento", "Número do Documento", 41, T + 32, 35);
    s.Field("txtDocumento", plTitulo_Receber, "Id_Nota_Fiscal", "", 41, T + 35, 35);
    s.Caption("lblEspecie", "Espécie", 81, T + 32, 20);
    s.Field("txtEspecie", plTitulo_Receber, "Id_Especie_Titulo", "", 81, T + 35, 20);
    s.Caption("lblMoeda", "Moeda", 106, T + 32, 20);
    s.Field("txtMoeda", plTitulo_Receber, "Id_Tipo_Moeda", "", 106, T + 35, 20);
    s.Caption("lblNosso_Numero", "Nosso Número", 141, T + 32, 48);
    s.Field("txtNosso_Numero", plTitulo_Receber, "Nosso_Numero", "", 141, T + 35, 40, taRightJustified);
    s.Field("txtDigito", plTitulo_Receber, "Digito_Verificador", "", 182, T + 35, 7);
    s.Rule("linFicha4", 0, T + 40, W);
    s.Caption("lblInstrucoes", "Instruções (texto de responsabilidade do cedente)", 1, T + 41, 100);
    mmoInstrucoes = s.Memo("mmoInstrucoes", 1, T + 44, 138, 26);
    s.Caption("lblValor", "(=) Valor do Documento", 141, T + 41, 48);
    s.Field("txtValor", plTitulo_Receber, "Valor_Titulo", "#,##0.00", 141, T + 44, 48, taRightJustified);
    s.Rule("linFicha5", 140, T + 49, W - 140);
    s.Caption("lblDesconto", "(-) Desconto", 141, T + 50, 48);
    s.Field("txtDesconto", plTitulo_Receber, "Valor_Desconto", "#,##0.00;;\"\"", 141, T + 53, 48,
            taRightJustified);
    s.Rule("linFicha6", 140, T + 58, W - 140);
    s.Caption("lblCobrado", "(=) Valor Cobrado", 141, T + 59, 48);
    s.Rule("linFicha7", 0, T + 72, W);
    s.Caption("lblSacado", "Sacado", 1, T + 73, 60);
    mmoSacado = s.Memo("mmoSacado", 1, T + 76, 188, 13);
    s.Rule("linFicha8", 0, T + 90, W);
    s.Caption("lblFicha", "Autenticação Mecânica - Ficha de Compensação", 120, T + 91, 70);
    bcNosso_Numero = s.Put<TrpDBBarCode>("bcNosso_Numero", 1, T + 96, 103, 13);
    bcNosso_Numero->SetBarCodeType(bcInt2of5);
    bcNosso_Numero->SetDataPipeline(plTitulo_Receber);
    bcNosso_Numero->SetDataField("Nosso_Numero");
    bcNosso_Numero->SetPrintHumanReadable(false);

    fit_ = std::make_unique<billing::listings::ColumnFit>(
        rpBloqueto, [this](const std::string& Name) { return FindComponent(Name); });
    fit_->Bind({{"txtSacado1", W - 2, false}});
}

void TfrmNota117::Le_Titulo() {
    const auto reopen = [](TSQLQuery* Query, const char* Param, const Variant& Value) {
        Query->Close();
        Query->ParamByName(Param)->SetValue(Value);
        Query->Open();
    };
    const bool onTitle = qryTitulo_Receber->Active() && !qryTitulo_Receber->IsEmpty();
    reopen(qryCliente, "pid_cliente",
           onTitle ? qryTitulo_Receber->FieldByName("Id_Cliente")->AsVariant() : Variant());
    reopen(qryConta_Corrente, "pid_conta_corrente",
           onTitle ? qryTitulo_Receber->FieldByName("Id_Conta_Corrente")->AsVariant() : Variant());
    if (!qryEmitente->Active()) qryEmitente->Open();

    TStrings* cedente = mmoCedente->Lines();
    cedente->Clear();
    cedente->Add(Column(qryEmitente, "Nome"));
    cedente->Add(Joined({Column(qryEmitente, "Cnpj").empty() ? "" : "CNPJ " + Column(qryEmitente, "Cnpj"),
                         Joined({Column(qryEmitente, "Endereco"), Column(qryEmitente, "Numero_Endereco")}, ", "),
                         Column(qryEmitente, "Bairro")},
                        " - "));

    TStrings* sacado = mmoSacado->Lines();
    sacado->Clear();
    // Slips go to the billing address when the client has one.
    const bool billing = !Column(qryCliente, "Endereco_Cobranca").empty();
    const auto address = [&](const char* Plain, const char* Billing) {
        return Column(qryCliente, billing ? Billing : Plain);
    };
    // The name gives way to the CPF/CNPJ: it ends at its last whole
    // character that leaves room for it on the box's line.
    std::string nome = Column(qryCliente, "Nome");
    const std::string documento =
        Column(qryCliente, "CPF_CNPJ").empty() ? "" : "CPF/CNPJ " + Column(qryCliente, "CPF_CNPJ");
    TrpTextWidthMeter meter(*mmoSacado->Font());
    const int32_t room = mmoSacado->mmWidth();
    if (meter.Width(Joined({nome, documento}, " - ")) > room) {
        const int32_t rest = documento.empty() ? 0 : meter.Width(" - " + documento);
        nome.resize(billing::listings::WholeCharactersThatFit(
            nome, room - rest, [&meter](const std::string& Text) { return meter.Width(Text); }));
    }
    sacado->Add(Joined({nome, documento}, " - "));
    sacado->Add(Joined({Joined({address("Endereco", "Endereco_Cobranca"),
                                address("Numero_Endereco", "Numero_Endereco_Cobranca")},
                               ", "),
                        address("Bairro", "Bairro_Cobranca")},
                       " - "));
    sacado->Add(Joined({address("Cep", "Cep_Cobranca"),
                        Joined({Column(qryCliente, "municipio"), Column(qryCliente, "uf")}, "/")},
                       " - "));

    TStrings* instrucoes = mmoInstrucoes->Lines();
    instrucoes->Clear();
    if (!onTitle) return;
    const auto number = [this](const char* Name) {
        TField* f = qryTitulo_Receber->FieldByName(Name);
        return f->IsNull() ? 0.0 : f->AsFloat();
    };
    if (number("Percentual_Mora") > 0)
        instrucoes->Add("Após o vencimento, cobrar mora de " + FormatFloat("#,##0.00", number("Percentual_Mora")) +
                        "% ao mês.");
    if (number("Valor_Desconto") > 0) {
        TField* until = qryTitulo_Receber->FieldByName("Data_Desconto");
        instrucoes->Add("Conceder desconto de R$ " + FormatFloat("#,##0.00", number("Valor_Desconto")) +
                        (until->IsNull() ? std::string() : " até " + FormatDateTime("dd/mm/yyyy", until->AsDateTime())) +
                        ".");
    }
    if (number("Dias_Protesto") > 0)
        instrucoes->Add("Protestar após " + std::to_string(static_cast<int>(number("Dias_Protesto"))) +
                        " dias do vencimento.");
}

TfrmNota117::~TfrmNota117() {
    if (frmNota117 == this) frmNota117 = nullptr;
}
