// A recording stand-in for the installer host. Built as MsiExec.exe and put beside setup.exe,
// where the platform's search for the command's first token finds it before the system's own.
//
// It appends what it received to the file named by MSISETUP_STANDIN_RECORD, one "key=value" line
// each: the exact command line, its current directory, the inherited MSISETUP_STANDIN_PROBE,
// whether it could write to standard output or standard error, and whether it has a console.
// Then it sleeps MSISETUP_STANDIN_SLEEP_MS, records "finished", and exits with
// MSISETUP_STANDIN_EXIT, or crashes when MSISETUP_STANDIN_CRASH is set.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

const char* environment_value(const char* name, const char* fallback) {
    const char* value = getenv(name);
    return value != nullptr ? value : fallback;
}

bool write_to(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    static const char text[] = "installer host output\n";
    DWORD written = 0;
    return WriteFile(handle, text, sizeof text - 1, &written, nullptr) != FALSE && written != 0;
}

}  // namespace

int main() {
    const char* record_path = getenv("MSISETUP_STANDIN_RECORD");
    if (record_path == nullptr) {
        return 99;
    }
    FILE* record = fopen(record_path, "ab");
    if (record == nullptr) {
        return 98;
    }
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    const bool wrote_output = write_to(STD_OUTPUT_HANDLE);
    const bool wrote_error = write_to(STD_ERROR_HANDLE);
    fprintf(record, "command=%s\n", GetCommandLineA());
    fprintf(record, "directory=%s\n", directory);
    fprintf(record, "probe=%s\n", environment_value("MSISETUP_STANDIN_PROBE", "(unset)"));
    fprintf(record, "stdout=%s\n", wrote_output ? "written" : "none");
    fprintf(record, "stderr=%s\n", wrote_error ? "written" : "none");
    fprintf(record, "console=%s\n", GetConsoleWindow() != nullptr ? "attached" : "none");
    fflush(record);

    Sleep(static_cast<DWORD>(atol(environment_value("MSISETUP_STANDIN_SLEEP_MS", "0"))));
    fprintf(record, "finished=yes\n");
    fclose(record);

    if (getenv("MSISETUP_STANDIN_CRASH") != nullptr) {
        // An unhandled access violation, without the error box that would wait for a click.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        // cppcheck-suppress nullPointer ; the crash is what this test host is asked for
        *static_cast<volatile int*>(nullptr) = 1;
    }
    return atoi(environment_value("MSISETUP_STANDIN_EXIT", "0"));
}
