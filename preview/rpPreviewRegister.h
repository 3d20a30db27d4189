#pragma once
// The preview window, the report dialogs, the outline and the preview's
// controls are registered here, explicitly and in a fixed order, after the
// printable controls and devices (report_output::registerAll) and undone
// before them. Each family adds its Register*/Unregister* pair in the .cpp.
namespace preview {

void registerAll();
void unregisterAll();

}  // namespace preview
