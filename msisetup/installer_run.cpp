#include "installer_run.h"

#include <windows.h>

#include <process.h>
#include <stdint.h>
#include <string.h>

#include "installer_command.h"

namespace {

const wchar_t host_file[] = L"\\msiexec.exe";

// The full path of the system's installer host. A program search would look in the launcher's
// own folder and the current directory first, where anyone who can drop a file (a Downloads
// folder) could plant an MsiExec.exe of their own. Returns 0 when the path cannot be formed.
int system_installer_host(wchar_t (&path)[MAX_PATH]) {
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + sizeof host_file / sizeof host_file[0] > MAX_PATH) {
        return 0;
    }
    memcpy(path + length, host_file, sizeof host_file);
    return 1;
}

}  // namespace

int run_installer(const launch_settings& settings) {
    wchar_t host[MAX_PATH];
    wchar_t command[installer_command_size] = {};
    PROCESS_INFORMATION process_information;
    STARTUPINFOW startup_information;
    ZeroMemory(&process_information, sizeof process_information);
    ZeroMemory(&startup_information, sizeof startup_information);
    startup_information.cb = sizeof startup_information;

    if (!compose_installer_command(settings, command) || !system_installer_host(host)) {
        return status_installer_not_run;
    }
    // The host by its full path, never a search; the line keeps MsiExec.exe as its first token.
    // No inherited handles and no console, so the installer host can never write to our output.
    if (!CreateProcessW(host, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup_information, &process_information)) {
        return status_installer_not_run;
    }
    CloseHandle(process_information.hThread);

    // The process handle goes to _cwait, and stays its own: Windows' msvcrt closes it there, so
    // closing it again here could close an unrelated handle that reused the value.
    int termination_status = 0;
    const intptr_t waited = _cwait(
        &termination_status, reinterpret_cast<intptr_t>(process_information.hProcess), _WAIT_CHILD);
    return waited == -1 ? status_installer_not_run : status_installer_ran;
}
