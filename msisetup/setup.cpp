#include "setup.h"

#include <stdio.h>
#include <string.h>

#include "installer_run.h"

namespace {

launch_settings current_settings;

// Copies an argument whole, or not at all: a cut name or directory would install the wrong thing.
int copy_argument(char (&field)[text_field_size], const char* argument) {
    const size_t length = strlen(argument);
    if (length >= sizeof field) {
        field[0] = '\0';
        return 0;
    }
    memcpy(field, argument, length + 1);
    return 1;
}

int is_repair_switch(const char* argument) {
    return strcmp(argument, "/u") == 0 || strcmp(argument, "/U") == 0;
}

}  // namespace

int parse_arguments(int argument_count, char* arguments[], launch_settings& settings) {
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

int launcher_main(int argument_count, char* arguments[]) {
    if (argument_count < 2) {
        printf("usage: setup.exe <APP_NAME> [<ALT_TARGET_DIR>]\n");
        return status_installer_not_run;
    }
    current_settings.target_directory[0] = '\0';
    if (!parse_arguments(argument_count, arguments, current_settings)) {
        return status_installer_not_run;
    }
    return run_installer(current_settings);
}
