// Holds the Wine session's desktop while the session lasts (scripts/wine-session.sh starts it with
// its output on /dev/null). Wine closes a desktop a second after its last other process ends, and
// the next process that needs the desktop window starts a new explorer.exe with that process's
// standard error: under ctest, the output pipe of whichever case came next, which ctest then waits
// on until that explorer ends, long after the case itself has. This process starts the explorer
// itself and, as a user of the desktop, keeps it from closing.
#include <windows.h>
#include <cstdio>

int main() {
    if (!::GetDesktopWindow()) return 1;
    std::puts("ready");
    std::fflush(stdout);
    ::Sleep(INFINITE);
    return 0;
}
