#include "preview/rpPreviewRegister.h"

#include "preview/rpDialogRegistration.h"
#include "preview/rpEmailDialog.h"
#include "preview/rpOutline.h"
#include "preview/rpPreview.h"
#include "preview/rpViewer.h"

namespace preview {

// The unregistering runs in the reverse order.
void registerAll() {
    RegisterViewerClasses();
    RegisterPreviewClasses();
    RegisterDialogForms();
    RegisterOutlineClasses();
    RegisterEmailDialogs();
}

void unregisterAll() {
    UnregisterEmailDialogs();
    UnregisterOutlineClasses();
    UnregisterDialogForms();
    UnregisterPreviewClasses();
    UnregisterViewerClasses();
}

}  // namespace preview
