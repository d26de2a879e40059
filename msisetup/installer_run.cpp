#include "installer_run.h"

#include <windows.h>

#include <process.h>
#include <stdint.h>

#include "installer_command.h"

int run_installer(const launch_settings& settings) {
    char command[installer_command_size];
    PROCESS_INFORMATION process_information;
    STARTUPINFOA startup_information;
    ZeroMemory(&process_information, sizeof process_information);
    ZeroMemory(&startup_information, sizeof startup_information);
    startup_information.cb = sizeof startup_information;

    if (!compose_installer_command(settings, command)) {
        return status_installer_not_run;
    }
    // No application name: the platform finds MsiExec.exe from the line's first token. No
    // inherited handles and no console, so the installer host can never write to our output.
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup_information, &process_information)) {
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
