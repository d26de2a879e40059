#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "installer_command.h"

namespace {

using text = std::basic_string<text_unit>;
#define T(literal) text(TEXT_UNITS(literal))

launch_settings make_settings(const text& name, const text& directory, install_mode mode) {
    launch_settings settings{};
    name.copy(settings.application_name, text_field_size - 1);
    directory.copy(settings.target_directory, text_field_size - 1);
    settings.mode = mode;
    return settings;
}

struct command_case {
    text name;
    text directory;
    install_mode mode;
    text expected;
};

TEST(ComposeInstallerCommand, WritesTheExactLine) {
    const install_mode odd_mode = static_cast<install_mode>(7);
    const command_case cases[] = {
        {T("app"), T(""), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"\" ")},
        {T("app"), T(""), MODE_REPAIR,
         T("MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"\" ")},
        {T("app"), T("C:\\dir"), odd_mode,
         T("MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"C:\\dir\" ")},
        {T("My App"), T("C:\\Program Files\\My App"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"My App\" "
           "INSTALLDIR=\"C:\\Program Files\\My App\" ")},
        {T("app"), T("C:\\dir\\"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"C:\\dir\\\" ")},
        {T(""), T(""), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"\" INSTALLDIR=\"\" ")},
        // Quotes are doubled so that a value can never close itself and set anything else.
        {T("x\" REBOOT=\"Force"), T("C:\\a\"b"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"x\"\" REBOOT=\"\"Force\" "
           "INSTALLDIR=\"C:\\a\"\"b\" ")},
        {T("\"\""), T("\""), MODE_REPAIR,
         T("MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"\"\"\"\"\" INSTALLDIR=\"\"\"\" ")},
        // Every other unit passes as it is: printf directives, any language, a surrogate pair, an
        // unpaired surrogate, a line break, and look-alikes of the quote and the slash.
        {T("%s%n%x"), T("%TEMP%\\café"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"%s%n%x\" INSTALLDIR=\"%TEMP%\\café\" ")},
        {T("Приложение «Ω» 😀"), T("C:\\Программы\\テスト"), MODE_REPAIR,
         T("MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"Приложение «Ω» 😀\" "
           "INSTALLDIR=\"C:\\Программы\\テスト\" ")},
        {T("x＂ QEVPROBE=＂set"), T("／u\xD800"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"x＂ QEVPROBE=＂set\" "
           "INSTALLDIR=\"／u\xD800\" ")},
        {T("a\nb"), T("\xDC00"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"a\nb\" INSTALLDIR=\"\xDC00\" ")},
        {T(" padded "), T("\t"), MODE_INSTALL,
         T("MsiExec.exe /i qevtarn.msi QEVAPPNAME=\" padded \" INSTALLDIR=\"\t\" ")},
    };
    for (const command_case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.expected));
        text_unit command[installer_command_size] = {};
        EXPECT_EQ(compose_installer_command(make_settings(c.name, c.directory, c.mode), command),
                  1);
        EXPECT_EQ(text(command), c.expected);
    }
}

TEST(ComposeInstallerCommand, FillsTheBufferExactlyOrRefuses) {
    struct room_case {
        size_t name_length;
        size_t directory_length;
        size_t quotes_in_name;  // of the name's units, how many are double quotes
        install_mode mode;
        bool fits;
        size_t pairs_in_name;  // of the name's units, how many are surrogate pairs (two each)
    };
    const room_case cases[] = {
        {200, 0, 0, MODE_INSTALL, true},
        {201, 0, 0, MODE_INSTALL, false},
        {0, 200, 0, MODE_INSTALL, true},
        {0, 201, 0, MODE_INSTALL, false},
        {100, 100, 0, MODE_INSTALL, true},
        {100, 101, 0, MODE_INSTALL, false},
        {195, 0, 0, MODE_REPAIR, true},
        {196, 0, 0, MODE_REPAIR, false},
        {95, 100, 0, MODE_REPAIR, true},
        {95, 101, 0, MODE_REPAIR, false},
        {199, 0, 1, MODE_INSTALL, true},
        {200, 0, 1, MODE_INSTALL, false},
        {100, 90, 10, MODE_INSTALL, true},
        {100, 91, 10, MODE_INSTALL, false},
        {255, 255, 0, MODE_INSTALL, false},
        {255, 0, 255, MODE_REPAIR, false},
        {128, 0, 128, MODE_INSTALL, false},
        // 51 emoji (102 units) and 98 letters fill an install line; one more letter does not.
        {200, 0, 0, MODE_INSTALL, true, 51},
        {201, 0, 0, MODE_INSTALL, false, 51},
        {197, 0, 0, MODE_REPAIR, false, 98},
        {196, 0, 0, MODE_REPAIR, false, 98},
        {195, 0, 0, MODE_REPAIR, true, 97},
    };
    for (const room_case& c : cases) {
        text name = text(c.quotes_in_name, '"');
        for (size_t i = 0; i < c.pairs_in_name; ++i) {
            name += T("😀");
        }
        name += text(c.name_length - c.quotes_in_name - 2 * c.pairs_in_name, 'n');
        const text directory(c.directory_length, 'd');
        SCOPED_TRACE(::testing::Message()
                     << c.name_length << " + " << c.directory_length << " units, "
                     << c.quotes_in_name << " quotes, " << c.pairs_in_name
                     << " surrogate pairs, mode " << static_cast<int>(c.mode));
        struct {
            text_unit command[installer_command_size];
            text_unit guard;  // the unit just past the buffer
        } out;
        std::fill(out.command, out.command + installer_command_size, '?');
        out.guard = '#';
        const int written =
            compose_installer_command(make_settings(name, directory, c.mode), out.command);
        EXPECT_EQ(written, c.fits ? 1 : 0);
        EXPECT_EQ(text(out.command).size(), c.fits ? installer_command_size - 1 : 0u);
        EXPECT_EQ(out.guard, '#');
    }
}

}  // namespace
