// A recording stand-in for the installer host. The tests copy it over msiexec.exe in the Wine
// prefix's system folder and have Wine load it there (WINEDLLOVERRIDES=msiexec.exe=n); copies of
// it planted beside setup.exe and in the current directory must never run.
//
// It appends what it received to the file named by MSISETUP_STANDIN_RECORD, one "key=value" line
// each, Unicode texts escaped so that every unit is visible: the exact command line and its
// length in units, its own path, its current directory, the inherited MSISETUP_STANDIN_PROBE,
// whether it could write to standard output or standard error, whether it has a console, the
// flags and show-window request of its start-up record, and whether a handle of the test's reached
// it (see caller_handle_reached). Then it sleeps MSISETUP_STANDIN_SLEEP_MS, records "finished", and
// exits with MSISETUP_STANDIN_EXIT, or crashes when MSISETUP_STANDIN_CRASH is set.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "escaped_units.h"

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

// A process has a console exactly when it can open its screen buffer. (Wine reports no console
// window even for a process that has a console, so GetConsoleWindow cannot tell.)
bool has_console() {
    const HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(screen);
    return true;
}

// The test makes an inheritable semaphore at the count 7 and names its handle value in
// MSISETUP_STANDIN_SEMAPHORE before it starts setup.exe, which inherits it. Handle values are kept
// when a handle is inherited, so releasing that value here finds the test's semaphore at 7 only
// if setup.exe let it through; a handle of our own at the same value would not be at 7.
bool caller_handle_reached() {
    const char* value = getenv("MSISETUP_STANDIN_SEMAPHORE");
    if (value == nullptr) {
        return false;
    }
    const HANDLE semaphore =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoull(value, nullptr, 10)));
    LONG previous = 0;
    return ReleaseSemaphore(semaphore, 1, &previous) != FALSE && previous == 7;
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
    wchar_t directory[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, directory);
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const bool wrote_output = write_to(STD_OUTPUT_HANDLE);
    const bool wrote_error = write_to(STD_ERROR_HANDLE);
    const wchar_t* command = GetCommandLineW();
    fprintf(record, "command=%s\n", escape_units(command).c_str());
    fprintf(record, "length=%u\n", static_cast<unsigned>(wcslen(command)));
    fprintf(record, "program=%s\n", escape_units(program).c_str());
    fprintf(record, "directory=%s\n", escape_units(directory).c_str());
    fprintf(record, "probe=%s\n", environment_value("MSISETUP_STANDIN_PROBE", "(unset)"));
    fprintf(record, "stdout=%s\n", wrote_output ? "written" : "none");
    fprintf(record, "stderr=%s\n", wrote_error ? "written" : "none");
    fprintf(record, "console=%s\n", has_console() ? "attached" : "none");
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    fprintf(record, "startup_flags=%lu\n", static_cast<unsigned long>(startup.dwFlags));
    fprintf(record, "show_window=%u\n", static_cast<unsigned>(startup.wShowWindow));
    fprintf(record, "caller_handle=%s\n", caller_handle_reached() ? "reached" : "none");
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
