// The font configuration library keeps caches for the life of the process
// that LeakSanitizer reports at exit; they are the system's, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
