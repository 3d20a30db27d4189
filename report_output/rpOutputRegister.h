#pragma once
// The printable controls, variables and output devices are registered here,
// explicitly and in a fixed order, after the report library's own classes
// (report::registerAll) and undone before them.
namespace report_output {

void registerAll();
void unregisterAll();

}  // namespace report_output
