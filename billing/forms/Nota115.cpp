#include "billing/forms/Nota115.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/RecordRow.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Dialogs.h"

using namespace billing::forms;

TfrmNota115* frmNota115 = nullptr;

namespace {

constexpr int kLabelLeft = 12;
constexpr int kEditLeft = 150;

constexpr std::int64_t kUltimoRomaneio = std::numeric_limits<std::int32_t>::max();

// The shipping-list counter as stored: once the last number was used it
// holds one past what the form's integer field can show.
std::optional<std::int64_t> ContadorRomaneioGravado() {
    sqlite::Statement st(dmdb->ADOConnection->Database(), "select numero_proximo_romaneio from opcao");
    if (!st.Step() || st.ColumnIsNull(0)) return std::nullopt;
    return st.ColumnInt64(0);
}

// The next shipping-list number as the clerk writes it: plain digits or
// with thousands points ("1.234"), from 1 to the last number a list takes.
std::int64_t ProximoRomaneioDigitado(const std::string& Typed) {
    const std::string text = Trim(Typed);
    std::string digits;
    bool negative = false, wellFormed = !text.empty();
    int sinceSeparator = 0;
    bool grouped = false;
    for (std::size_t i = 0; i < text.size() && wellFormed; ++i) {
        const char c = text[i];
        if (c == '-' && i == 0) {
            negative = true;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            ++sinceSeparator;
        } else if (c == FormatSettings.ThousandSeparator && !digits.empty() && (!grouped ? sinceSeparator <= 3
                                                                                        : sinceSeparator == 3)) {
            grouped = true;
            sinceSeparator = 0;
        } else {
            wellFormed = false;
        }
    }
    if (grouped && sinceSeparator != 3) wellFormed = false;
    if (!wellFormed || digits.empty())
        throw EConvertError("O Próximo Romaneio deve ser um número inteiro, como 1.234.");
    const std::string limite = FormatFloat("###,###,##0", static_cast<double>(kUltimoRomaneio));
    if (negative || digits.find_first_not_of('0') == std::string::npos || digits.size() > 10 ||
        std::stoll(digits) > kUltimoRomaneio)
        throw EConvertError("O Próximo Romaneio deve ser um número de 1 a " + limite + ".");
    return std::stoll(digits);
}

}  // namespace

TfrmNota115::TfrmNota115(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota115");
    SetCaption("Opções - NOTA115");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsDialog);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 720, 470);

    qryOpcao = new TSQLQuery(this);
    qryOpcao->SetName("qryOpcao");
    qryOpcao->SetConnection(dmdb->ADOConnection);
    qryOpcao->SetSQL(kSql);
    DressFields(qryOpcao, {{"Limite_Credito", "", "###,###,##0.00"},
                           {"Numero_Proximo_Romaneio", "", "###,###,##0"},
                           {"Juros_Mora", "", "#0.00"},
                           {"copias_danfe", "", "##0"},
                           {"Id_Cliente", "######-#;0; ", ""}});
    {
        TDataSetNotifyEvent dressed = qryOpcao->AfterOpen;
        qryOpcao->AfterOpen = [dressed](TDataSet* ds) {
            if (dressed) dressed(ds);
            TField* proximo = ds->FieldByName("Numero_Proximo_Romaneio");
            // Spent, the counter shows what it holds, not that number wrapped
            // round to a negative one; a number typed is one a list can take.
            proximo->OnGetText = [](TField* Sender, std::string& Text, bool Display) {
                std::optional<std::int64_t> stored;
                if (!Sender->IsNull() && Sender->AsInteger() < 1) stored = ContadorRomaneioGravado();
                const bool spent = stored && *stored > kUltimoRomaneio &&
                                   static_cast<std::int32_t>(static_cast<std::uint32_t>(*stored)) == Sender->AsInteger();
                if (Sender->IsNull())
                    Text.clear();
                else if (!Display)
                    Text = spent ? std::to_string(*stored) : std::to_string(Sender->AsInteger());
                else
                    Text = FormatFloat("###,###,##0", spent ? static_cast<double>(*stored)
                                                           : static_cast<double>(Sender->AsInteger()));
            };
            proximo->OnSetText = [](TField* Sender, const std::string& Text) {
                if (Trim(Text).empty()) {
                    Sender->Clear();
                    return;
                }
                // Unchanged, a spent counter stays as it is stored.
                std::string shown;
                Sender->OnGetText(Sender, shown, false);
                if (Trim(Text) == shown) return;
                Sender->SetAsInteger(static_cast<int>(ProximoRomaneioDigitado(Text)));
            };
            // The controls showing it take the new text at once.
            static_cast<TNumericField*>(proximo)->SetDisplayFormat("###,###,##0");
        };
    }
    qryOpcao->BeforePost = [this](TDataSet* d) { BeforePostChecks(d); };
    GuardAgainstOtherUsers(qryOpcao, nullptr);
    // A new folder or environment is in force from the save on.
    qryOpcao->AfterPost = [](TDataSet*) { dmdb->LoadNFeVariables(); };
    dsMain = new TDataSource(this);
    dsMain->SetName("dsMain");
    dsMain->SetAutoEdit(false);
    dsMain->SetDataSet(qryOpcao);

    pnlBotoes = Place<TPanel>(this, this, "pnlBotoes", 0, 422, 720, 48);
    pnlBotoes->SetAlign(alBottom);
    pnlBotoes->SetBevelOuter(bvNone);
    DBButton1 = Button("DBButton1", "&Editar", Editar, 300);
    DBButton2 = Button("DBButton2", "&Salvar", Gravar, 404);
    DBButton3 = Button("DBButton3", "&Desfazer", Cancelar, 508);
    DBButton4 = Button("DBButton4", "Fec&har", Fechar, 612);
    DBButton4->SetCancel(true);
    DBButton1->OnClick = [this](TObject* s) { DBButton1Click(s); };
    DBButton2->OnClick = [this](TObject* s) { DBButton2Click(s); };
    DBButton3->OnClick = [this](TObject* s) { DBButton3Click(s); };
    DBButton4->OnClick = [this](TObject* s) { DBButton4Click(s); };

    PageControl1 = Place<TPageControl>(this, this, "PageControl1", 0, 0, 720, 422);
    PageControl1->SetAlign(alClient);

    TTabSheet* padrao = AddPage(PageControl1, "&Valores Padrão");
    dbeId_Municipio = Lookup(padrao, "dbeId_Municipio", "Id_Municipio", "Município", 12, 80);
    PMunicipio = Description(padrao, "PMunicipio", 236, 12, 360);
    PUf_Municipio = Description(padrao, "PUf_Municipio", 600, 12, 40);
    dbeId_cfop = Lookup(padrao, "dbeId_cfop", "Id_CFOP", "CFOP", 40, 80);
    PCFOP = Description(padrao, "PCFOP", 236, 40, 404);
    dbeId_unidade_Medida =
        Lookup(padrao, "dbeId_unidade_Medida", "Id_Unidade_Medida", "Unidade Medida", 68, 80);
    PUnidade_Medida = Description(padrao, "PUnidade_Medida", 236, 68, 404);
    dbeId_vendedor = Lookup(padrao, "dbeId_vendedor", "Id_Vendedor", "Vendedor", 96, 80);
    PVendedor = Description(padrao, "PVendedor", 236, 96, 404);
    dbeId_Transportador = Lookup(padrao, "dbeId_Transportador", "Id_Transportador", "Transportador", 124, 80);
    PTransportador = Description(padrao, "PTransportador", 236, 124, 404);
    dbeId_Cliente = Lookup(padrao, "dbeId_Cliente", "Id_Cliente", "Cliente", 152, 80);
    PCliente = Description(padrao, "PCliente", 236, 152, 404);
    dbeId_Condicao_Pagamento =
        Lookup(padrao, "dbeId_Condicao_Pagamento", "Id_Condicao_Pagamento", "Cond Pagamento", 180, 80);
    PCondicao_Pagamento = Description(padrao, "PCondicao_Pagamento", 236, 180, 404);
    DBEdit10 = PlaceLabeled<TDBEdit>(this, padrao, "DBEdit10", dsMain, "Limite_Credito", "Limite Crédito", kLabelLeft, kEditLeft, 208, 120);
    DBEdit3 = PlaceLabeled<TDBEdit>(this, padrao, "DBEdit3", dsMain, "Numero_Proximo_Romaneio", "Próximo Romaneio", kLabelLeft, kEditLeft, 236, 120);
    dbeId_Serie_Documento = Lookup(padrao, "dbeId_Serie_Documento", "Id_Serie_Documento", "Série Docto", 264, 80);
    DBCheckBox1 = Flag(padrao, "DBCheckBox1", "pode_alterar_serie", "Pode alterar Série durante Lan&çamento",
                       kEditLeft, 292, 320);

    TTabSheet* cobranca = AddPage(PageControl1, "Co&bança");
    exDBComboDlg5 = Lookup(cobranca, "exDBComboDlg5", "Id_Conta_Corrente", "Conta Corrente", 12, 80);
    PConta_Corrente = Description(cobranca, "PConta_Corrente", 236, 12, 404);
    DBEdit1 = PlaceLabeled<TDBEdit>(this, cobranca, "DBEdit1", dsMain, "Dias_Protesto", "Dias Protesto", kLabelLeft, kEditLeft, 40, 80);
    DBEdit2 = PlaceLabeled<TDBEdit>(this, cobranca, "DBEdit2", dsMain, "Juros_Mora", "Juros Mora", kLabelLeft, kEditLeft, 68, 80);

    TTabSheet* impressoras = AddPage(PageControl1, "&Impressoras");
    // Each printer's automatic print says so beside it, with a letter of its
    // own: the window's other letters leave these five.
    cbImpressora_Danfe = PickList(impressoras, "cbImpressora_Danfe", "Impressora_Danfe", "DANFE", 36);
    DBCheckBox2 = Flag(impressoras, "DBCheckBox2", "IA_Danfe", "Imprimir au&tomático", 480, 36, 170);
    cbImpressora_Romaneio = PickList(impressoras, "cbImpressora_Romaneio", "Impressora_Romaneio", "Romaneio", 64);
    DBCheckBox3 = Flag(impressoras, "DBCheckBox3", "IA_Romaneio", "Imprimir a&utomático", 480, 64, 170);
    cbImpressora_Boleto = PickList(impressoras, "cbImpressora_Boleto", "Impressora_Boleto", "Boleto", 92);
    DBCheckBox4 = Flag(impressoras, "DBCheckBox4", "IA_Boleto", "Imprimir aut&omático", 480, 92, 170);
    cbImpressora_Relatorio =
        PickList(impressoras, "cbImpressora_Relatorio", "Impressora_Relatorio", "Relatório", 120);
    cbImpressora_Promissoria =
        PickList(impressoras, "cbImpressora_Promissoria", "Impressora_Promissoria", "Promissória", 148);
    DBCheckBox5 = Flag(impressoras, "DBCheckBox5", "IA_Promissoria", "Im&primir automático", 480, 148, 170);

    TTabSheet* nfe = AddPage(PageControl1, "&NF-e ");
    struct Folder {
        TexDBComboDlg** edit;
        const char* name;
        const char* field;
        const char* caption;
        const char* which;
    };
    const Folder folders[] = {
        {&exDBComboDlg6, "exDBComboDlg6", "Pasta_NFe_Envio", "Pasta de Envio dos Arquivos NF-e", "Envio"},
        {&exDBComboDlg7, "exDBComboDlg7", "Pasta_NFe_Arquivamento", "Pasta para Arquivamento dos Arquivos NF-e ",
         "Arquivamento"},
        {&exDBComboDlg1, "exDBComboDlg1", "Pasta_NFe_Retorno", "Pasta de Retorno dos Arquivos NF-e", "Retorno"},
        {&exDBComboDlg8, "exDBComboDlg8", "Pasta_NFe_Erro",
         "Pasta Temporária dos Arquivos NF-e que apresentaram erro na tentativa de Envio", "Erro"},
    };
    int top = 8;
    for (const Folder& f : folders) {
        PlaceLabel(this, nfe, f.caption, kLabelLeft, top);
        auto* edit = PlaceDB<TexDBComboDlg>(this, nfe, f.name, dsMain, f.field, kLabelLeft, top + 18, 680, 23);
        std::string which = f.which, field = f.field;
        edit->OnCustomDlg = [this, which, field](TObject*) { Nome_Pasta(which, field); };
        *f.edit = edit;
        top += 48;
    }
    PlaceLabel(this, nfe, "Arquivo do Certificado Digital (A1)", kLabelLeft, top);
    exDBComboDlg9 = PlaceDB<TexDBComboDlg>(this, nfe, "exDBComboDlg9", dsMain, "Arquivo_Certificado_Digital",
                                           kLabelLeft, top + 18, 680, 23);
    exDBComboDlg9->OnCustomDlg = [this](TObject*) { Arquivo_Certificado(); };
    top += 52;
    // Typed combos: a stored text outside the list ("Retrato" of a new
    // settings row) shows as it is and is saved unchanged.
    DBComboBox1 = PlaceLabeled<TDBComboBox>(this, nfe, "DBComboBox1", dsMain, "Tipo_Impressao_DANFE",
                                            "Tipo Impressão DANFE", kLabelLeft, kEditLeft, top, 160);
    for (const char* t : {"1 - Retrato", "2 - Paisagem"}) DBComboBox1->Items()->Add(t);
    DBComboBox3 = PlaceLabeled<TDBComboBox>(this, nfe, "DBComboBox3", dsMain, "Ambiente", "Ambiente", kLabelLeft,
                                            kEditLeft, top + 28, 160);
    for (const char* t : {"1 - Produção", "2 - Homologação"}) DBComboBox3->Items()->Add(t);
    DBEdit4 = PlaceLabeled<TDBEdit>(this, nfe, "DBEdit4", dsMain, "copias_danfe", "Qt Cópias DANFE ", kLabelLeft,
                                    kEditLeft, top + 56, 60);

    // The lookups: each typed code shows its description on leaving the
    // field, each button runs its search.
    auto lookup = [this](TexDBComboDlg* edit, TPanel* panel, const char* table, const char* desc, const char* key,
                         std::string (*search)()) {
        LookupField l{edit, panel, table, desc, key, search};
        BindLookup(l);
        lookups_.push_back(l);
    };
    lookup(dbeId_vendedor, PVendedor, "vendedor", "nome", "id_vendedor", Pesquisa_Vendedor);
    lookup(dbeId_Transportador, PTransportador, "transportador", "nome", "id_transportador", Pesquisa_Transportador);
    lookup(dbeId_cfop, PCFOP, "cfop", "descricao", "id_cfop", Pesquisa_cfop);
    lookup(dbeId_unidade_Medida, PUnidade_Medida, "Unidade_Medida", "descricao", "id_unidade_Medida",
           Pesquisa_Unidade_Medida);
    lookup(dbeId_Cliente, PCliente, "cliente", "nome", "id_cliente", Pesquisa_Cliente);
    lookup(dbeId_Condicao_Pagamento, PCondicao_Pagamento, "condicao_pagamento", "descricao",
           "id_condicao_pagamento", Pesquisa_Condicao_Pagamento);
    lookup(exDBComboDlg5, PConta_Corrente, "conta_corrente", "descricao", "id_conta_corrente",
           Pesquisa_Conta_Corrente);
    lookup(dbeId_Serie_Documento, nullptr, "serie_documento", "", "id_serie_documento", Pesquisa_Serie_Documento);
    BindMunicipio(qryOpcao, dbeId_Municipio, PMunicipio, PUf_Municipio);

    checks_.Add(kTipoMessage,
                [this] { return !Trim(qryOpcao->FieldByName("tipo_impressao_danfe")->AsString()).empty(); });
    // An empty count reads as 0.
    checks_.Add(kCopiasMessage, [this] { return qryOpcao->FieldByName("copias_danfe")->AsInteger() >= 1; });

    InstallNavigation(this);
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
    frmNota115 = this;
}

TfrmNota115::~TfrmNota115() {
    // The query's handlers reach into this form: none may run while it goes.
    qryOpcao->AfterOpen = nullptr;
    qryOpcao->BeforePost = nullptr;
    qryOpcao->AfterPost = nullptr;
    if (frmNota115 == this) frmNota115 = nullptr;
}

TexDBComboDlg* TfrmNota115::Lookup(TWinControl* Parent, const std::string& Name, const std::string& Field,
                                   const std::string& Caption, int Top, int Width) {
    return PlaceLabeled<TexDBComboDlg>(this, Parent, Name, dsMain, Field, Caption, kLabelLeft, kEditLeft, Top, Width);
}

TPanel* TfrmNota115::Description(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width) {
    auto* panel = Place<TPanel>(this, Parent, Name, Left, Top, Width, 23);
    panel->SetAlignment(taLeftJustify);
    panel->SetCaption("");
    return panel;
}

TDBComboBox* TfrmNota115::PickList(TWinControl* Parent, const std::string& Name, const std::string& Field,
                                   const std::string& Caption, int Top) {
    auto* combo = PlaceLabeled<TDBComboBox>(this, Parent, Name, dsMain, Field, Caption, kLabelLeft, kEditLeft, Top, 300);
    combo->SetStyle(csDropDownList);
    return combo;
}

TDBCheckBox* TfrmNota115::Flag(TWinControl* Parent, const std::string& Name, const std::string& Field,
                               const std::string& Caption, int Left, int Top, int Width) {
    auto* box = PlaceDB<TDBCheckBox>(this, Parent, Name, dsMain, Field, Left, Top, Width, 23);
    box->SetCaption(Caption);
    box->SetValueChecked("Sim");
    box->SetValueUnchecked("Não");
    return box;
}

TDBButton* TfrmNota115::Button(const std::string& Name, const std::string& Caption, TAcao Acao, int Left) {
    auto* b = Place<TDBButton>(this, pnlBotoes, Name, Left, 8, 100, 32);
    b->SetAcao(Acao);
    b->SetCaption(Caption);
    b->SetEnabled(false);
    b->SetDataSource(dsMain);
    return b;
}

bool TfrmNota115::Editing() const { return qryOpcao->State() == dsEdit || qryOpcao->State() == dsInsert; }

void TfrmNota115::FormCreate(TObject*) { CenterForm(this); }

void TfrmNota115::FormShow(TObject*) {
    PageControl1->SetActivePageIndex(0);
    if (!qryOpcao->Active()) qryOpcao->Open();
    ChangeColor(this, false);
    Carrega_Impressoras();
    Mostra_Tudo();
}

void TfrmNota115::FormClose(TObject*, TCloseAction& Action) {
    Action = SettlePendingRow(this, qryOpcao) ? caFree : caNone;
}

void TfrmNota115::FormCloseQuery(TObject*, bool& CanClose) {
    if (!SettlePendingRow(this, qryOpcao)) CanClose = false;
}

void TfrmNota115::DBButton1Click(TObject*) { ChangeColor(this, true); }
void TfrmNota115::DBButton2Click(TObject*) { ChangeColor(this, false); }

void TfrmNota115::DBButton3Click(TObject*) {
    ChangeColor(this, false);
    Mostra_Tudo();  // the panels of codes typed and then dropped
}

void TfrmNota115::DBButton4Click(TObject*) { Close(); }

void TfrmNota115::Carrega_Impressoras() {
    std::vector<std::string> printers = dmdb->PrinterList(true, false);
    std::vector<std::string> withPorts = dmdb->PrinterList(true, true);
    std::vector<std::string> ports = dmdb->PrinterList(false, true);
    auto fill = [](TDBComboBox* combo, const std::vector<std::string>& names) {
        combo->Items()->Clear();
        for (const std::string& n : names) combo->Items()->Add(n);
    };
    fill(cbImpressora_Danfe, printers);
    fill(cbImpressora_Boleto, printers);
    fill(cbImpressora_Romaneio, withPorts);
    fill(cbImpressora_Relatorio, withPorts);
    fill(cbImpressora_Promissoria, ports);
}

void TfrmNota115::Mostra_Tudo() {
    Mostra_Vendedor();
    Mostra_Transportador();
    Mostra_CFOP();
    Mostra_Unidade_Medida();
    Mostra_Cliente();
    Mostra_Municipio();
    Mostra_Condicao_Pagamento();
    Mostra_Conta_Corrente();
}

// In the order the constructor binds them.
void TfrmNota115::Mostra_Vendedor() { ShowLookup(lookups_[0]); }
void TfrmNota115::Mostra_Transportador() { ShowLookup(lookups_[1]); }
void TfrmNota115::Mostra_CFOP() { ShowLookup(lookups_[2]); }
void TfrmNota115::Mostra_Unidade_Medida() { ShowLookup(lookups_[3]); }
void TfrmNota115::Mostra_Cliente() { ShowLookup(lookups_[4]); }
void TfrmNota115::Mostra_Condicao_Pagamento() { ShowLookup(lookups_[5]); }
void TfrmNota115::Mostra_Conta_Corrente() { ShowLookup(lookups_[6]); }

void TfrmNota115::Mostra_Municipio() {
    MostraMunicipio(dbeId_Municipio->Field(), PMunicipio, PUf_Municipio);
}

void TfrmNota115::Nome_Pasta(const std::string& Which, const std::string& Column) {
    if (!Editing()) return;
    TField* field = qryOpcao->FieldByName(Column);
    std::string folder = field->AsString();
    if (SelectDirectory("Selecione a Pasta da NF-e: " + Which, folder, folder)) field->SetAsString(folder);
}

void TfrmNota115::Arquivo_Certificado() {
    if (!Editing()) return;
    TField* field = qryOpcao->FieldByName("Arquivo_Certificado_Digital");
    TOpenDialog dialog(nullptr);
    dialog.SetTitle("Arquivo do Certificado Digital");
    dialog.SetFilter(kFiltroCertificado);
    std::string current = Trim(field->AsString());
    dialog.SetFileName(current);
    if (!current.empty()) dialog.SetInitialDir(std::filesystem::path(current).parent_path().string());
    if (dialog.Execute()) field->SetAsString(dialog.FileName());
}

void TfrmNota115::BeforePostChecks(TDataSet*) { checks_.Run(lastErrors_); }
