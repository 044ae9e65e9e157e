// Linked into sanitizer builds only. libdbus keeps a buffer for the life of
// the process (Qt opens the session bus for the tray); it is not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
