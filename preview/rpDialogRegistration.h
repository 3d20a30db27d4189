#pragma once
// The default report dialogs, registered in the dialog registry for the
// abstract classes the report library declares. An application or a test
// replaces any of them by registering its own class afterwards.
namespace preview {

void RegisterDialogForms();
void UnregisterDialogForms();

}  // namespace preview
