#pragma once
// Registration of the report model's classes (printables, bands, groups,
// producer, report) with the runtime's class registry.
namespace report {
void RegisterModelClasses();
void UnregisterModelClasses();
}  // namespace report
