#pragma once
// The preview layer's classes (dialog forms, outline, preview window) are
// registered here, explicitly and in a fixed order, after the output
// library's (report_output::registerAll) and undone before them.
namespace preview {

void registerAll();
void unregisterAll();

}  // namespace preview
