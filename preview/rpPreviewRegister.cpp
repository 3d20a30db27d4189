#include "preview/rpPreviewRegister.h"

#include "preview/rpPreview.h"
#include "preview/rpViewer.h"

namespace preview {

// The unregistering runs in the reverse order.
void registerAll() {
    RegisterViewerClasses();
    RegisterPreviewClasses();
}

void unregisterAll() {
    UnregisterPreviewClasses();
    UnregisterViewerClasses();
}

}  // namespace preview
