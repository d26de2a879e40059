#include "installer_command.h"

#include <stdio.h>

namespace {

const char package_file[] = "qevtarn.msi";

// The installer host reads two double quotes inside a quoted property value as one literal quote.
// A single raw quote would end the value early and let the rest of the text set other properties
// or options, so each one is doubled; every other byte passes as it is. Returns 0 when the result
// and its NUL do not fit `size` bytes.
int quote_property_value(char* out, size_t size, const char* value) {
    size_t length = 0;
    for (; *value != '\0'; ++value) {
        const size_t needed = *value == '"' ? 2 : 1;
        if (length + needed >= size) {
            return 0;
        }
        out[length++] = *value;
        if (*value == '"') {
            out[length++] = '"';
        }
    }
    out[length] = '\0';
    return 1;
}

}  // namespace

int compose_installer_command(const launch_settings& settings,
                              char (&command)[installer_command_size]) {
    char application_name[installer_command_size];
    char target_directory[installer_command_size];
    command[0] = '\0';
    if (!quote_property_value(application_name, sizeof application_name,
                              settings.application_name) ||
        !quote_property_value(target_directory, sizeof target_directory,
                              settings.target_directory)) {
        return 0;
    }
    // The two templates stand as literals in the call so that the compiler checks them against
    // their four fields: the package file, the name, the directory and an empty text.
    const int length =
        snprintf(command, sizeof command,
                 settings.mode == MODE_INSTALL
                     ? "MsiExec.exe /i %s QEVAPPNAME=\"%s\" INSTALLDIR=\"%s\" %s"
                     : "MsiExec.exe /fvomus %s QEVAPPNAME=\"%s\" INSTALLDIR=\"%s\" %s",
                 package_file, application_name, target_directory, "");
    if (length < 0 || static_cast<size_t>(length) >= sizeof command) {
        // Never start the installer with a cut line: it could install into the wrong place.
        command[0] = '\0';
        return 0;
    }
    return 1;
}
