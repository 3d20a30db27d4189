#include "billing/forms/ListingForm.h"

#include <initializer_list>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/listings/CriteriaTable.h"
#include "billing/listings/InvoiceListing.h"
#include "billing/listings/ListingReport.h"
#include "billing/listings/SalesByGroup.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

using namespace billing::forms;
using billing::listings::Listing;

TListingForm::TListingForm(TComponent* AOwner, Listing Kind, const std::string& Name, const std::string& Caption)
    : TForm(AOwner), kind_(Kind) {
    SetName(Name);
    SetCaption(Caption);
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});

    tbTemp = billing::listings::NewCriteriaTable(this, Kind);
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);

    if (Kind != Listing::Nota300) {
        dtpData_Inicial = PlaceDB<TexDBDateTimePicker>(this, this, "dtpData_Inicial", dsTemp, "data_inicial", 130,
                                                       top_, 130, 23);
        PlaceLabel(this, this, "Data Inicial", 16, top_ + 4, dtpData_Inicial);
        top_ += 32;
        dtpData_Final =
            PlaceDB<TexDBDateTimePicker>(this, this, "dtpData_Final", dsTemp, "data_final", 130, top_, 130, 23);
        PlaceLabel(this, this, "Data Final", 16, top_ + 4, dtpData_Final);
        top_ += 40;
    }
    if (Kind != Listing::Nota409) {
        const bool nota403 = Kind == Listing::Nota403;
        grpSituacao = Place<TGroupBox>(this, this, "grpSituacao", 290, 12, 170, 108);
        grpSituacao->SetCaption(nota403 ? " Mostrar Situação " : " Mostrar ");
        // The box's caption names what the state means in each listing.
        chkAutorizada = Place<TCheckBox>(this, grpSituacao, "chkAutorizada", 12, 22, 150, 22);
        chkAutorizada->SetCaption(nota403 ? "A&utorizadas" : "A&tivos");
        chkCancelada = Place<TCheckBox>(this, grpSituacao, "chkCancelada", 12, 48, 150, 22);
        chkCancelada->SetCaption(nota403 ? "Ca&nceladas" : "Blo&queados");
        chkDenegada = Place<TCheckBox>(this, grpSituacao, "chkDenegada", 12, 74, 150, 22);
        chkDenegada->SetCaption(nota403 ? "&Denegadas" : "I&nativos");
    }
    chkZebrado = Place<TCheckBox>(this, this, "chkZebrado", 16, 200, 160, 22);
    chkZebrado->SetCaption("&Zebrar Relatório");
    chkZebrado->SetChecked(false);

    BitBtn1 = Place<TBitBtn>(this, this, "BitBtn1", 110, 236, 110, 30);
    BitBtn1->SetCaption("&Visualizar");
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn2 = Place<TBitBtn>(this, this, "BitBtn2", 228, 236, 110, 30);
    BitBtn2->SetCaption("&Imprimir");
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    BitBtn3 = Place<TBitBtn>(this, this, "BitBtn3", 346, 236, 110, 30);
    BitBtn3->SetCaption("Fec&har");
    BitBtn3->SetCancel(true);
    BitBtn3->OnClick = [this](TObject*) { Close(); };
    SetBounds(0, 0, 480, 310);

    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TListingForm::~TListingForm() {
    // The report's pipeline reads the rows: it goes first.
    report_.reset();
    rows_.reset();
}

void TListingForm::FormShow(TObject*) {
    // Each listing's own criteria, made after these, come first on the road
    // by Tab; the stripes and the buttons wait at its end.
    for (TWinControl* last : std::initializer_list<TWinControl*>{chkZebrado, BitBtn1, BitBtn2, BitBtn3})
        last->SetTabOrder(static_cast<int>(TabList().size()));
    CenterForm(this);
    InstallNavigation(this);
    billing::listings::ShowCriteria(*tbTemp, kind_, Date());
    for (TCheckBox* box : {chkAutorizada, chkCancelada, chkDenegada})
        if (box != nullptr) box->SetChecked(true);
    if (dtpData_Inicial != nullptr) SetActiveControl(dtpData_Inicial);
}

bool TListingForm::Gerar_Relatorio() {
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->Post();
    const auto criteria = billing::listings::ReadCriteria(
        *tbTemp, kind_, chkAutorizada != nullptr && chkAutorizada->Checked(),
        chkCancelada != nullptr && chkCancelada->Checked(), chkDenegada != nullptr && chkDenegada->Checked());
    // A run replaces the last one's rows and report.
    report_.reset();
    rows_ = std::make_unique<TDataSource>(nullptr);
    const std::string usuario = dmdb->Get_Var("id_usuario");
    billing::data::IMessages& messages = billing::data::Messages();
    billing::listings::HeaderTexts header;
    if (kind_ == Listing::Nota409) {
        sales_ = std::make_unique<billing::listings::SalesByGroup>(*dmdb->ADOConnection, messages);
        if (!sales_->Gerar_Relatorio(criteria, usuario)) return false;
        rows_->SetDataSet(sales_->tbResumo());
        header = sales_->Header();
    } else {
        invoices_ = std::make_unique<billing::listings::InvoiceListing>(kind_, *dmdb->ADOConnection, messages);
        if (!invoices_->Gerar_Relatorio(criteria, usuario)) return false;
        rows_->SetDataSet(&invoices_->Query());
        header = invoices_->Header();
    }
    report_ = std::make_unique<billing::listings::ListingReport>(kind_, rows_.get());
    report_->SetHeader(header, billing::listings::CreditLine(kind_, dmdb->VersaoAplicativo()));
    report_->SetZebra(chkZebrado->Checked());
    return true;
}

void TListingForm::Run(const std::string& DeviceType) {
    if (!Gerar_Relatorio()) return;
    try {
        report_->Print(DeviceType);
    } catch (const Exception& e) {
        Box("Não foi possível imprimir o relatório.\n\n" + e.Message(), "Erro", mtError);
    }
}

void TListingForm::BitBtn1Click(TObject*) { Run("Screen"); }

void TListingForm::BitBtn2Click(TObject*) { Run("Printer"); }

void TListingForm::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }
