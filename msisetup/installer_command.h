#ifndef MSISETUP_INSTALLER_COMMAND_H
#define MSISETUP_INSTALLER_COMMAND_H

#include "launch_settings.h"

// Room for the installer command line and its terminating NUL, in units.
constexpr size_t installer_command_size = 256;

// Writes the command line that installs (or, in any mode but MODE_INSTALL, repairs) the package
// with the settings' application name and target directory as installer properties. Returns 1
// when the line was written, 0 when it does not fit; then `command` is left empty.
int compose_installer_command(const launch_settings& settings,
                              text_unit (&command)[installer_command_size]);

#endif
