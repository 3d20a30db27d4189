#include "report_output/rpOutputRegister.h"

namespace report_output {

// Each family of classes adds its Register*/Unregister* pair below; the
// unregistering runs in the reverse order.
void registerAll() {
}

void unregisterAll() {
}

}  // namespace report_output
