#pragma once
// The report library, its outputs and the preview, registered when a listing
// first needs them rather than at start-up: the login and the main window
// use none of them, and registering them (classes, devices, the preview's
// dialogs) would make every start slower and larger for a listing that may
// never be asked for. The order is the one the three libraries ask for.
namespace billing::listings {

// Registers the three libraries unless they are registered already (by an
// earlier call, or by a caller that registers them itself, as a test
// environment does).
void UseReportLibrary();
// At the program's end: unregisters, in the reverse order, what
// UseReportLibrary registered, if it registered anything.
void ReleaseReportLibrary();

}  // namespace billing::listings
