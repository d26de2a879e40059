#ifndef MSISETUP_INSTALLER_RUN_H
#define MSISETUP_INSTALLER_RUN_H

#include "launch_settings.h"

// Starts the system's own installer host, msiexec.exe in the system directory, detached with the
// composed command line, in the launcher's own environment and current directory, and waits for
// it to end. Returns status_installer_ran once it has been started and waited for, whatever the
// installer's own result, and status_installer_not_run when the line does not fit, the host's
// path cannot be formed, the start fails or the wait fails.
int run_installer(const launch_settings& settings);

#endif
