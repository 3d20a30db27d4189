#pragma once
// Everything the report library offers the rest of the program is
// registered here, explicitly and in a fixed order, never by static
// initialisers: the enumerations the scripting layer shows, the scripting
// adapters and streamable classes, the display-format class, the language
// texts. unregisterAll undoes it in the reverse order; afterwards the
// language resource manager is gone for good until registerAll runs again.
namespace report {

void registerAll();
void unregisterAll();

}  // namespace report
