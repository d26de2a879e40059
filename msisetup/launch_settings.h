#ifndef MSISETUP_LAUNCH_SETTINGS_H
#define MSISETUP_LAUNCH_SETTINGS_H

#include <stddef.h>

// Texts are UTF-16 code units, as Windows keeps a command line: wchar_t there. Elsewhere, where
// the core is built and tested, char16_t keeps the units 16 bits wide whatever wchar_t is.
#ifdef _WIN32
typedef wchar_t text_unit;
#define TEXT_UNITS(literal) L##literal
#else
typedef char16_t text_unit;
#define TEXT_UNITS(literal) u##literal
#endif

// How the package is to be run. Any value other than MODE_INSTALL means repair.
enum install_mode : unsigned char {
    MODE_REPAIR = 0,
    MODE_INSTALL = 1,
};

// Width of each text field in units, its terminating NUL included.
constexpr size_t text_field_size = 256;

// The one record of what to launch, filled from the arguments and read by the installer run.
// Texts are kept exactly as the runtime delivered them: nothing converted or normalised, an
// unpaired surrogate included.
struct launch_settings {
    text_unit application_name[text_field_size];
    text_unit target_directory[text_field_size];
    install_mode mode;
};

// Exit statuses. Scripts rely on these two values and on nothing else.
constexpr int status_installer_not_run = 0;
constexpr int status_installer_ran = 6;

#endif
