#include "billing/forms/Nota103.h"

#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/RegisterExtras.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota103* frmNota103 = nullptr;

TfrmNota103::TfrmNota103(TComponent* AOwner)
    : RegisterForm(AOwner, "Transportadores - NOTA103", "Transportador",
                   "select * from Transportador order by Id_Transportador", "Id_Transportador") {
    SetName("frmNota103");
    qryTransportador = qry;
    qryTransportador->SetName("qryTransportador");
    SetBounds(0, 0, 860, 380);
    // Centred on the screen by its own setting, not by the pattern's rule.
    SetPosition(poScreenCenter);
    OnCreate = nullptr;

    auto edit = [this](TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left, int Top,
                       int Width) { return PlaceField<TDBEdit>(this, Parent, Field, Caption, Left, Top, Width); };
    TWinControl* d = pnlDados;
    dbeId_Transportador = edit(d, "Id_Transportador", "Código", 12, 8, 90);
    dbeNome = edit(d, "Nome", "Nome", 12, 52, 380);
    dbeEndereco = edit(d, "Endereco", "Endereço", 12, 96, 300);
    dbeId_Municipio = PlaceField<TexDBComboDlg>(this, d, "Id_Municipio", "Município", 12, 140, 90);
    PMunicipio = PlaceDescricao(this, d, "PMunicipio", 108, 140, 300);
    PUF_Municipio = PlaceDescricao(this, d, "PUF_Municipio", 414, 140, 40);
    dbeNatureza = PlaceLista(this, d, "Natureza", "Natureza", 12, 184, 110, {"Física", "Jurídica"});
    dbeCPF_CNPJ = edit(d, "CPF_CNPJ", "CPF/CNPJ", 134, 184, 160);
    dbeIE_RG = edit(d, "IE_RG", "Inscrição Estadual", 306, 184, 160);

    gbVeiculo = Place<TGroupBox>(this, d, "gbVeiculo", 480, 8, 360, 220);
    gbVeiculo->SetCaption(" Veículo ");
    dbePlaca_Veiculo = edit(gbVeiculo, "Placa_Veiculo", "Placa", 12, 20, 100);
    dbePlaca_Veiculo->SetCharCase(ecUpperCase);
    dbeModelo_Veiculo = edit(gbVeiculo, "Modelo_Veiculo", "Modelo", 12, 64, 250);
    dbeCidade_Veiculo = edit(gbVeiculo, "Cidade_Veiculo", "Cidade", 12, 108, 200);
    dbeUF_Veiculo = edit(gbVeiculo, "UF_Veiculo", "UF", 224, 108, 40);
    dbeUF_Veiculo->SetCharCase(ecUpperCase);

    SetEdits(dbeId_Transportador, dbeNome);
    UseIdGenerator();
    DressFields(qry, {{"Placa_Veiculo", "LLL-9999;0; ", ""}});
    BindMunicipio(qry, dbeId_Municipio, PMunicipio, PUF_Municipio);
    dbeNatureza->OnExit = [this](TObject*) { Mascara_CPF_CNPJ(); };

    auto natureza = [this] { return qry->FieldByName("natureza")->AsString(); };
    AddCheck("O Código do Transpordor deve ser maior que 0.",
             [this] { return qry->FieldByName("Id_Transportador")->AsInteger() != 0; });
    AddCheck("O Nome não foi informado.", [this] { return !Blank("nome"); });
    AddCheck("O CPF/CNPJ não foi informado.", [this] { return !Blank("cpf_cnpj"); });
    AddCheck("O CNPJ informado não é válido.", [this, natureza] {
        return natureza().rfind('J', 0) != 0 || ValidCgc(qry->FieldByName("cpf_cnpj")->AsString());
    });
    AddCheck("O CPF informado não é válido.", [this, natureza] {
        return natureza().rfind('F', 0) != 0 || ValidCpf(qry->FieldByName("cpf_cnpj")->AsString());
    });
    AddCheck("O Endereço não foi informado.", [this] { return !Blank("endereco"); });
    AddCheck("O Município não foi informado.", [this] { return !Missing(PMunicipio); });

    // The plate is kept in capitals however it reached the field.
    auto basePost = qry->BeforePost;
    qry->BeforePost = [basePost](TDataSet* ds) {
        TField* placa = ds->FieldByName("Placa_Veiculo");
        if (!placa->IsNull()) placa->SetAsString(AnsiUpperCase(placa->AsString()));
        basePost(ds);
    };
    ReportKeyClash(qry, [this] {
        return "O Código do Transportador \"" + qry->FieldByName("Id_Transportador")->AsString() + "\" já existe.";
    });
    frmNota103 = this;
}

TfrmNota103::~TfrmNota103() {
    qry->OnPostError = nullptr;
    if (frmNota103 == this) frmNota103 = nullptr;
}

std::string TfrmNota103::Search() { return Pesquisa_Transportador(); }

void TfrmNota103::NewRow(TDataSet* DataSet) {
    DataSet->FieldByName("Natureza")->SetAsString("Física");
    if (auto opcao = Opcoes(); !opcao->IsEmpty())
        DataSet->FieldByName("id_municipio")->SetValue(opcao->FieldByName("id_municipio")->Value());
    Mostra_Tudo();
}

void TfrmNota103::Mascara_CPF_CNPJ() { AplicaMascaraCpfCnpj(qry); }

void TfrmNota103::Mostra_Municipio() {
    MostraMunicipio(qry->Active() ? qry->FieldByName("Id_Municipio") : nullptr, PMunicipio, PUF_Municipio);
}

void TfrmNota103::Mostra_Tudo() {
    Mostra_Municipio();
    Mascara_CPF_CNPJ();
}
