#include "preview/rpPreviewRegister.h"

#include "preview/rpEmailDialog.h"
#include "preview/rpPreview.h"
#include "preview/rpViewer.h"

namespace preview {

// The unregistering runs in the reverse order.
void registerAll() {
    RegisterViewerClasses();
    RegisterPreviewClasses();
    RegisterEmailDialogs();
}

void unregisterAll() {
    UnregisterEmailDialogs();
    UnregisterPreviewClasses();
    UnregisterViewerClasses();
}

}  // namespace preview
