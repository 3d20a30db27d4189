#include "report_output/rpOutputRegister.h"

#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"

namespace report_output {

// Each family of classes adds its Register*/Unregister* pair below; the
// unregistering runs in the reverse order.
void registerAll() {
    RegisterGraphicClasses();
    RegisterImageClasses();
}

void unregisterAll() {
    UnregisterImageClasses();
    UnregisterGraphicClasses();
}

}  // namespace report_output
