#ifndef MSISETUP_SETUP_H
#define MSISETUP_SETUP_H

#include "launch_settings.h"

// The program's own entry: prints the usage text when no application name is given, otherwise
// fills the settings from the arguments and runs the installer once. Returns the exit status.
int launcher_main(int argument_count, text_unit* arguments[]);

// Fills `settings` from arguments 1 and up; needs an argument count of at least 2. Argument 1 is
// always the application name; after it, "/u" or "/U" selects repair and any other argument is
// the target directory, the last one winning. Returns 1 when the name and the directory that end
// up used fit their fields, 0 when one of them is too long (that field is then left empty).
int parse_arguments(int argument_count, text_unit* arguments[], launch_settings& settings);

#endif
