#ifndef MSISETUP_TESTS_ESCAPED_UNITS_H
#define MSISETUP_TESTS_ESCAPED_UNITS_H

// UTF-16 text written so that every unit stays visible on one ASCII line: printable ASCII as it
// is, a backslash as \\, every other unit (line breaks, any language, unpaired surrogates) as
// \uXXXX. The stand-in host records with it, and the tests compare against it.

#include <stdio.h>

#include <string>

inline std::string escape_units(const wchar_t* text) {
    std::string escaped;
    for (; *text != 0; ++text) {
        const unsigned unit = static_cast<unsigned>(*text) & 0xFFFFu;
        if (unit == '\\') {
            escaped += "\\\\";
        } else if (unit >= 0x20 && unit < 0x7F) {
            escaped += static_cast<char>(unit);
        } else {
            char code[8];
            snprintf(code, sizeof code, "\\u%04X", unit);
            escaped += code;
        }
    }
    return escaped;
}

#endif
