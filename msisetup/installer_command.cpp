#include "installer_command.h"

namespace {

const text_unit install_template[] =
    TEXT_UNITS("MsiExec.exe /i %s QEVAPPNAME=\"%s\" INSTALLDIR=\"%s\" %s");
const text_unit repair_template[] =
    TEXT_UNITS("MsiExec.exe /fvomus %s QEVAPPNAME=\"%s\" INSTALLDIR=\"%s\" %s");
const text_unit package_file[] = TEXT_UNITS("qevtarn.msi");
const text_unit no_text[] = TEXT_UNITS("");

// The line being written: `length` units so far, or `overflow` once something did not fit.
struct line_writer {
    text_unit* out;
    size_t length;
    int overflow;
};

void put(line_writer& line, text_unit unit) {
    if (line.length + 1 >= installer_command_size) {
        line.overflow = 1;
        return;
    }
    line.out[line.length++] = unit;
}

// The installer host reads two double quotes inside a quoted property value as one literal quote.
// A single raw quote would end the value early and let the rest of the text set other properties
// or options, so each one is doubled; every other unit passes as it is, look-alikes such as the
// fullwidth quote included, since the installer host gives them no meaning.
void put_value(line_writer& line, const text_unit* value, int double_quotes) {
    for (; *value != 0; ++value) {
        put(line, *value);
        if (double_quotes && *value == '"') {
            put(line, '"');
        }
    }
}

}  // namespace

int compose_installer_command(const launch_settings& settings,
                              text_unit (&command)[installer_command_size]) {
    const text_unit* const fields[] = {package_file, settings.application_name,
                                       settings.target_directory, no_text};
    const text_unit* format = settings.mode == MODE_INSTALL ? install_template : repair_template;
    line_writer line = {command, 0, 0};
    size_t field = 0;
    // Each %s of the template takes the next field; its other units are copied as they stand.
    for (; *format != 0 && !line.overflow; ++format) {
        if (format[0] == '%' && format[1] == 's') {
            put_value(line, fields[field], field == 1 || field == 2);
            ++field;
            ++format;
        } else {
            put(line, *format);
        }
    }
    // Never start the installer with a cut line: it could install into the wrong place.
    command[line.overflow ? 0 : line.length] = 0;
    return line.overflow ? 0 : 1;
}
