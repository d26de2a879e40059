#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "installer_command.h"

namespace {

launch_settings make_settings(const std::string& name, const std::string& directory,
                              install_mode mode) {
    launch_settings settings{};
    strncpy(settings.application_name, name.c_str(), sizeof settings.application_name - 1);
    strncpy(settings.target_directory, directory.c_str(), sizeof settings.target_directory - 1);
    settings.mode = mode;
    return settings;
}

struct command_case {
    std::string name;
    std::string directory;
    install_mode mode;
    std::string expected;
};

TEST(ComposeInstallerCommand, WritesTheExactLine) {
    const install_mode odd_mode = static_cast<install_mode>(7);
    const command_case cases[] = {
        {"app", "", MODE_INSTALL, "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"\" "},
        {"app", "", MODE_REPAIR,
         "MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"\" "},
        {"app", "C:\\dir", odd_mode,
         "MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"C:\\dir\" "},
        {"My App", "C:\\Program Files\\My App", MODE_INSTALL,
         "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"My App\" "
         "INSTALLDIR=\"C:\\Program Files\\My App\" "},
        {"app", "C:\\dir\\", MODE_INSTALL,
         "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"app\" INSTALLDIR=\"C:\\dir\\\" "},
        {"", "", MODE_INSTALL, "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"\" INSTALLDIR=\"\" "},
        // Quotes are doubled so that a value can never close itself and set anything else.
        {"x\" REBOOT=\"Force", "C:\\a\"b", MODE_INSTALL,
         "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"x\"\" REBOOT=\"\"Force\" "
         "INSTALLDIR=\"C:\\a\"\"b\" "},
        {"\"\"", "\"", MODE_REPAIR,
         "MsiExec.exe /fvomus qevtarn.msi QEVAPPNAME=\"\"\"\"\"\" INSTALLDIR=\"\"\"\" "},
        // Every other byte passes as it is, printf directives and 8-bit bytes included.
        {"%s%n%x", "%TEMP%\\caf\xe9", MODE_INSTALL,
         "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\"%s%n%x\" INSTALLDIR=\"%TEMP%\\caf\xe9\" "},
        {" padded ", "\t", MODE_INSTALL,
         "MsiExec.exe /i qevtarn.msi QEVAPPNAME=\" padded \" INSTALLDIR=\"\t\" "},
    };
    for (const command_case& c : cases) {
        SCOPED_TRACE(c.name + " | " + c.directory);
        char command[installer_command_size];
        EXPECT_EQ(compose_installer_command(make_settings(c.name, c.directory, c.mode), command),
                  1);
        EXPECT_EQ(std::string(command), c.expected);
    }
}

TEST(ComposeInstallerCommand, FillsTheBufferExactlyOrRefuses) {
    struct room_case {
        size_t name_length;
        size_t directory_length;
        size_t quotes_in_name;  // of the name's bytes, how many are double quotes
        install_mode mode;
        bool fits;
    };
    const room_case cases[] = {
        {200, 0, 0, MODE_INSTALL, true},    {201, 0, 0, MODE_INSTALL, false},
        {0, 200, 0, MODE_INSTALL, true},    {0, 201, 0, MODE_INSTALL, false},
        {100, 100, 0, MODE_INSTALL, true},  {100, 101, 0, MODE_INSTALL, false},
        {195, 0, 0, MODE_REPAIR, true},     {196, 0, 0, MODE_REPAIR, false},
        {95, 100, 0, MODE_REPAIR, true},    {95, 101, 0, MODE_REPAIR, false},
        {199, 0, 1, MODE_INSTALL, true},    {200, 0, 1, MODE_INSTALL, false},
        {100, 90, 10, MODE_INSTALL, true},  {100, 91, 10, MODE_INSTALL, false},
        {255, 255, 0, MODE_INSTALL, false}, {255, 0, 255, MODE_REPAIR, false},
        {128, 0, 128, MODE_INSTALL, false},
    };
    for (const room_case& c : cases) {
        const std::string name =
            std::string(c.quotes_in_name, '"') + std::string(c.name_length - c.quotes_in_name, 'n');
        const std::string directory(c.directory_length, 'd');
        SCOPED_TRACE(::testing::Message()
                     << c.name_length << " + " << c.directory_length << " bytes, "
                     << c.quotes_in_name << " quotes, mode " << static_cast<int>(c.mode));
        struct {
            char command[installer_command_size];
            char guard;  // the byte just past the buffer
        } out;
        memset(out.command, '?', sizeof out.command);
        out.guard = '#';
        const int written =
            compose_installer_command(make_settings(name, directory, c.mode), out.command);
        EXPECT_EQ(written, c.fits ? 1 : 0);
        EXPECT_EQ(strlen(out.command), c.fits ? installer_command_size - 1 : 0u);
        EXPECT_EQ(out.guard, '#');
    }
}

}  // namespace
