#include "setup.h"

// The C runtime's wide start-up (-municode) splits the command line as Windows keeps it, in
// UTF-16, so no argument passes through the ANSI code page, where a character it cannot hold turns
// into '?' or a look-alike ("／u" into the switch "/u"). Wildcard expansion stays off whatever the
// toolchain's default: a name or directory holding * or ? must reach the installer as typed, not
// as the files it happens to match in the current directory.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t* argv[]) {
    return launcher_main(argc, argv);
}
