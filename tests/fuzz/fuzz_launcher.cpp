// libFuzzer target for the argument handling and the command composition. The input is an
// argument vector of UTF-16 code units, two bytes each (little-endian), arguments separated by
// NUL units; any unit is allowed, unpaired surrogates included. The oracle is an independent model
// of the argument rules: either both refuse (what ends up used does not fit), or the composed line
// has the exact shape of its mode and gives back exactly the name and directory the rules pick.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installer_command.h"
#include "installer_run.h"
#include "setup.h"

// The target calls parse_arguments and compose_installer_command itself; nothing may start an
// installer.
int run_installer(const launch_settings&) {
    abort();
}

namespace {

// A broken rule ends the run; libFuzzer then saves the input that broke it.
void require(bool condition, const char* rule) {
    if (!condition) {
        fprintf(stderr, "broken: %s\n", rule);
        abort();
    }
}

using text = std::basic_string<text_unit>;

// Each double quote is written twice.
size_t quoted_length(const text& value) {
    return value.size() + static_cast<size_t>(std::count(value.begin(), value.end(), '"'));
}

// Reads one quoted property value starting at `position` (just past its opening quote), undoing
// doubled quotes; leaves `position` just past its closing quote.
bool read_value(const text& line, size_t& position, text& value) {
    value.clear();
    while (position < line.size()) {
        if (line[position] != '"') {
            value += line[position++];
        } else if (position + 1 < line.size() && line[position + 1] == '"') {
            value += '"';
            position += 2;
        } else {
            ++position;
            return true;
        }
    }
    return false;
}

bool expect(const text& line, size_t& position, const text& wanted) {
    if (line.compare(position, wanted.size(), wanted) != 0) {
        return false;
    }
    position += wanted.size();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<text> texts{TEXT_UNITS("setup.exe")};
    text current;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<text_unit>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            texts.push_back(current);
            current.clear();
        } else {
            current += unit;
        }
    }
    texts.push_back(current);
    std::vector<text_unit*> arguments(texts.size() + 1, nullptr);
    std::transform(texts.begin(), texts.end(), arguments.begin(),
                   [](text& argument) { return argument.data(); });
    const int count = static_cast<int>(texts.size());

    // The rules: argument 1 is the name; "/u" or "/U" after it selects repair; the last other
    // argument after it is the directory.
    const text& name = texts[1];
    text directory;
    bool repair = false;
    for (int i = 2; i < count; ++i) {
        if (texts[i] == TEXT_UNITS("/u") || texts[i] == TEXT_UNITS("/U")) {
            repair = true;
        } else {
            directory = texts[i];
        }
    }
    const text prefix =
        text(repair ? TEXT_UNITS("MsiExec.exe /fvomus") : TEXT_UNITS("MsiExec.exe /i")) +
        TEXT_UNITS(" qevtarn.msi ");
    const bool fits = name.size() < text_field_size && directory.size() < text_field_size &&
                      prefix.size() + quoted_length(name) + quoted_length(directory) +
                              sizeof "QEVAPPNAME=\"\" INSTALLDIR=\"\" " - 1 <
                          installer_command_size;

    launch_settings settings;
    memset(&settings, 0x5a, sizeof settings);
    settings.target_directory[0] = 0;
    const int parsed = parse_arguments(count, arguments.data(), settings);
    text_unit command[installer_command_size] = {};
    const int composed = parsed ? compose_installer_command(settings, command) : 0;
    require((parsed && composed) == fits, "refuses exactly what does not fit");
    if (!fits) {
        return 0;
    }
    require(settings.mode == (repair ? MODE_REPAIR : MODE_INSTALL), "mode");

    const text line(command);
    require(line.size() <= installer_command_size - 1, "at most 255 units");
    size_t position = 0;
    text received_name;
    text received_directory;
    require(expect(line, position, prefix + TEXT_UNITS("QEVAPPNAME=\"")), "prefix");
    require(read_value(line, position, received_name), "name closes");
    require(expect(line, position, TEXT_UNITS(" INSTALLDIR=\"")), "directory property");
    require(read_value(line, position, received_directory), "directory closes");
    require(expect(line, position, TEXT_UNITS(" ")) && position == line.size(),
            "ends with quote and space");
    require(received_name == name, "name round-trips");
    require(received_directory == directory, "directory round-trips");
    return 0;
}
