#include "setup.h"

#include <stdio.h>

#include <string>

#include "installer_run.h"

namespace {

launch_settings current_settings;

// Copies an argument whole, or not at all: a cut name or directory would install the wrong thing,
// and a cut could split a surrogate pair.
int copy_argument(text_unit (&field)[text_field_size], const text_unit* argument) {
    const size_t length = std::char_traits<text_unit>::length(argument);
    if (length >= text_field_size) {
        field[0] = 0;
        return 0;
    }
    std::char_traits<text_unit>::copy(field, argument, length + 1);
    return 1;
}

// Exactly the two ASCII texts; look-alikes such as the fullwidth solidus are directories.
int is_repair_switch(const text_unit* argument) {
    return argument[0] == '/' && (argument[1] == 'u' || argument[1] == 'U') && argument[2] == 0;
}

}  // namespace

int parse_arguments(int argument_count, text_unit* arguments[], launch_settings& settings) {
    const int name_fits = copy_argument(settings.application_name, arguments[1]);
    settings.mode = MODE_INSTALL;
    int directory_fits = 1;
    for (int i = 2; i < argument_count; ++i) {
        if (is_repair_switch(arguments[i])) {
            settings.mode = MODE_REPAIR;
        } else {
            // A later directory replaces an earlier one, too long or not.
            directory_fits = copy_argument(settings.target_directory, arguments[i]);
        }
    }
    return name_fits && directory_fits;
}

int launcher_main(int argument_count, text_unit* arguments[]) {
    if (argument_count < 2) {
        printf("usage: setup.exe <APP_NAME> [<ALT_TARGET_DIR>]\n");
        return status_installer_not_run;
    }
    current_settings.target_directory[0] = 0;
    if (!parse_arguments(argument_count, arguments, current_settings)) {
        return status_installer_not_run;
    }
    return run_installer(current_settings);
}
