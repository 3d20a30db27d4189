#include "preview/rpDialogRegistration.h"

#include "preview/rpCancelDialog.h"
#include "preview/rpDialogForms.h"
#include "preview/rpPrintDialog.h"
#include "report/rpDialogRegistry.h"

namespace preview {

void RegisterDialogForms() {
    RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), TrpPrintDialog::StaticClassType());
    RegisterFormClass(TrpCustomCancelDialog::StaticClassType(), TrpCancelDialog::StaticClassType());
    RegisterFormClass(TrpCustomAutoSearchDialog::StaticClassType(), TrpAutoSearchDialog::StaticClassType());
    RegisterFormClass(TrpCustomNoDataDialog::StaticClassType(), TrpNoDataDialog::StaticClassType());
    RegisterFormClass(TrpCustomTemplateErrorDialog::StaticClassType(), TrpTemplateErrorDialog::StaticClassType());
    RegisterFormClass(TrpCustomTemplateDialog::StaticClassType(), TrpTemplateDialog::StaticClassType());
}

void UnregisterDialogForms() {
    UnregisterFormClass(TrpCustomTemplateDialog::StaticClassType());
    UnregisterFormClass(TrpCustomTemplateErrorDialog::StaticClassType());
    UnregisterFormClass(TrpCustomNoDataDialog::StaticClassType());
    UnregisterFormClass(TrpCustomAutoSearchDialog::StaticClassType());
    UnregisterFormClass(TrpCustomCancelDialog::StaticClassType());
    UnregisterFormClass(TrpCustomPrintDialog::StaticClassType());
}

}  // namespace preview
