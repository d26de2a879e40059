#include "setup.h"

// The C runtime splits the command line into arguments before main. Wildcard expansion stays off
// whatever the toolchain's default: a name or directory holding * or ? must reach the installer
// as typed, not as the files it happens to match in the current directory.
extern "C" {
int _dowildcard = 0;
}

int main(int argc, char* argv[]) {
    return launcher_main(argc, argv);
}
