// Fontconfig keeps its configuration for the life of the process; the leak
// checker would report it at exit from every test that draws text.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
