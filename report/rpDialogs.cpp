#include "report/rpDialogs.h"

#include "report/rpDialogRegistry.h"

TClass TrpCustomReportDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomReportDialog>("TrpCustomReportDialog", TComponent::StaticClassType()).Build();
    return &info;
}

TClass TrpCustomTemplateDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomTemplateDialog>("TrpCustomTemplateDialog", TrpCustomReportDialog::StaticClassType())
            .Build();
    return &info;
}

TClass TrpCustomNoDataDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomNoDataDialog>("TrpCustomNoDataDialog", TrpCustomReportDialog::StaticClassType())
            .Build();
    return &info;
}

TClass TrpCustomPrintDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomPrintDialog>("TrpCustomPrintDialog", TrpCustomReportDialog::StaticClassType()).Build();
    return &info;
}

TClass TrpCustomCancelDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomCancelDialog>("TrpCustomCancelDialog", TrpCustomReportDialog::StaticClassType())
            .Build();
    return &info;
}

TClass TrpCustomPreviewer::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomPreviewer>("TrpCustomPreviewer", TrpCustomReportDialog::StaticClassType()).Build();
    return &info;
}

TClass TrpCustomAutoSearchDialog::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpCustomAutoSearchDialog>(
                                       "TrpCustomAutoSearchDialog", TrpCustomReportDialog::StaticClassType())
                                       .Build();
    return &info;
}

TClass TrpCustomTemplateErrorDialog::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpCustomTemplateErrorDialog>(
                                       "TrpCustomTemplateErrorDialog", TrpCustomReportDialog::StaticClassType())
                                       .Build();
    return &info;
}

TClass TrpCustomEmailDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomEmailDialog>("TrpCustomEmailDialog", TrpCustomReportDialog::StaticClassType())
            .Build();
    return &info;
}

TrpCustomPrintDialog::TrpCustomPrintDialog(TComponent* AOwner)
    : TrpCustomReportDialog(AOwner),
      pageRequest_(std::make_unique<TrpPageRequest>()),
      printerSetup_(std::make_unique<TrpPrinterSetup>(nullptr)) {}

TrpCustomPrintDialog::~TrpCustomPrintDialog() = default;

TrpCustomEmailDialog::TrpCustomEmailDialog(TComponent* AOwner)
    : TrpCustomReportDialog(AOwner), emailSettings_(std::make_unique<TrpEmailSettings>()) {}

TrpCustomEmailDialog::~TrpCustomEmailDialog() = default;

void TrpCustomEmailDialog::SetEmailSettings(TrpEmailSettings* Value) {
    if (Value != nullptr) emailSettings_->Assign(Value);
}

TrpCustomReportDialog* rpCreateDialog(TClass Abstract, TComponent* Owner) {
    const TClass concrete = GetFormClass(Abstract);
    if (concrete == nullptr || !concrete->Create) return nullptr;
    TObject* made = concrete->Create(Owner);
    auto* dialog = dynamic_cast<TrpCustomReportDialog*>(made);
    if (dialog == nullptr) delete made;
    return dialog;
}
