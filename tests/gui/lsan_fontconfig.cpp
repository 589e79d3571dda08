// Fontconfig, which Cairo's text drawing loads, keeps its font cache for the
// life of the process and frees it only if asked (FcFini); LeakSanitizer
// would report that cache when a test program exits. Linked into the GUI
// test programs only; the hook does nothing without LeakSanitizer.
// Cairo's uploads to an X11 window through shared memory leave a few bytes
// per window behind when the window's connection closes (the toolkit's X11
// back end, in the programs that open windows).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}
