#include "preview/rpPreviewRegister.h"

#include "preview/rpDialogRegistration.h"
#include "preview/rpOutline.h"

namespace preview {

// Each family of classes adds its Register*/Unregister* pair below; the
// unregistering runs in the reverse order.
void registerAll() {
    RegisterDialogForms();
    RegisterOutlineClasses();
}

void unregisterAll() {
    UnregisterOutlineClasses();
    UnregisterDialogForms();
}

}  // namespace preview
