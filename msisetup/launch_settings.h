#ifndef MSISETUP_LAUNCH_SETTINGS_H
#define MSISETUP_LAUNCH_SETTINGS_H

#include <stddef.h>

// How the package is to be run. Any value other than MODE_INSTALL means repair.
enum install_mode : unsigned char {
    MODE_REPAIR = 0,
    MODE_INSTALL = 1,
};

// Width of each text field, its terminating NUL included.
constexpr size_t text_field_size = 256;

// The one record of what to launch, filled from the arguments and read by the installer run.
// Texts are kept exactly as the runtime delivered them: 8-bit, in the ANSI code page.
struct launch_settings {
    char application_name[text_field_size];
    char target_directory[text_field_size];
    install_mode mode;
};

// Exit statuses. Scripts rely on these two values and on nothing else.
constexpr int status_installer_not_run = 0;
constexpr int status_installer_ran = 6;

#endif
