#pragma once
// What the three report-library listings' forms share: the criteria row
// (tbTemp) with its edits, the state boxes, "Zebrar Relatório" and the
// buttons "&Visualizar", "&Imprimir" and "Fechar". A run checks the
// criteria and prepares the rows (billing/listings), then the listing's
// report prints on the screen (the preview, maximised at 100 %) or on the
// printer. The form frees itself when closed.
#include <memory>
#include <string>

#include "billing/listings/Listing.h"
#include "platform/db/DB.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TmtMemTable;

namespace billing::listings {
class InvoiceListing;
class ListingReport;
class SalesByGroup;
}  // namespace billing::listings

class TListingForm : public TForm {
public:
    FAT_CLASS_NAME(TListingForm)
    TListingForm(TComponent* AOwner, billing::listings::Listing Kind, const std::string& Name,
                 const std::string& Caption);
    ~TListingForm() override;

    billing::listings::Listing Kind() const { return kind_; }

    TmtMemTable* tbTemp = nullptr;
    TDataSource* dsTemp = nullptr;
    TexDBDateTimePicker* dtpData_Inicial = nullptr;  // none in Nota300
    TexDBDateTimePicker* dtpData_Final = nullptr;
    TGroupBox* grpSituacao = nullptr;  // none in Nota409
    TCheckBox* chkAutorizada = nullptr;
    TCheckBox* chkCancelada = nullptr;
    TCheckBox* chkDenegada = nullptr;
    TCheckBox* chkZebrado = nullptr;
    TBitBtn* BitBtn1 = nullptr;  // "&Visualizar"
    TBitBtn* BitBtn2 = nullptr;  // "&Imprimir"
    TBitBtn* BitBtn3 = nullptr;  // "Fechar"

    void FormShow(TObject* Sender);
    // Checks the criteria and prepares the rows; false when a message was
    // shown and nothing is to print.
    bool Gerar_Relatorio();
    void BitBtn1Click(TObject* Sender);
    void BitBtn2Click(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);

    // The report of the last run (nullptr before one).
    billing::listings::ListingReport* Report() const { return report_.get(); }

protected:
    // The controls of one listing, below the common ones' row.
    int top_ = 16;

private:
    void Run(const std::string& DeviceType);

    billing::listings::Listing kind_;
    std::unique_ptr<billing::listings::InvoiceListing> invoices_;
    std::unique_ptr<billing::listings::SalesByGroup> sales_;
    std::unique_ptr<TDataSource> rows_;
    std::unique_ptr<billing::listings::ListingReport> report_;
};
