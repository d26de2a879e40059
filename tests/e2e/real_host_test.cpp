// The built setup.exe against a real Windows Installer host (Wine's msiexec here) and a real
// package: files land in the target directory and the properties arrive as given, nothing more.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <shlobj.h>

#include "escaped_units.h"
#include "windows_process.h"

namespace {

const wchar_t product_code[] = L"{3E9D6B2A-7F41-4C58-A0D3-8B5E2C6F1A94}";
const wchar_t record_key[] = L"Software\\msisetup-tests\\qevtarn";

// A value the test package recorded, or "(missing)". The package is a 32-bit one, so on 64-bit
// Windows its values are in the 32-bit view of the registry.
std::wstring recorded(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, record_key, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
        return L"(missing)";
    }
    wchar_t value[1024];
    DWORD size = sizeof value;
    const LSTATUS status = RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value : L"(missing)";
}

// The Program Files folder for 32-bit programs, whichever program asks: Program Files on 32-bit
// Windows, Program Files (x86) on 64-bit Windows, from a 32-bit or a 64-bit process.
std::wstring program_files_for_32_bit_programs() {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

class LauncherWithRealHost : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fresh_directory(std::string("real-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::copy_file(program_directory() + L"\\qevtarn.msi",
                                   work_ + L"\\qevtarn.msi");
        uninstall();
        ASSERT_EQ(recorded(L"AppName"), L"(missing)");
    }

    void TearDown() override { uninstall(); }

    void uninstall() { run_installer_host(std::wstring(L"/x ") + product_code + L" /qn", work_); }

    process_result launch(const std::wstring& arguments) {
        return run_process(L"\"" + program_directory() + L"\\real\\setup.exe\" " + arguments,
                           work_);
    }

    std::wstring work_;
};

TEST_F(LauncherWithRealHost, InstallsIntoTheTargetDirectoryWithTheApplicationName) {
    struct install_case {
        std::wstring name;
        std::wstring folder;  // below the test's own folder
    };
    const install_case cases[] = {
        {L"Demo App", L"target dir"},
        {L"Приложение «Ω»", L"Программы\\テスト"},
    };
    for (const install_case& c : cases) {
        SCOPED_TRACE(escape_units(c.name.c_str()));
        const std::wstring target = work_ + L"\\" + c.folder;
        const process_result run = launch(L"\"" + c.name + L"\" \"" + target + L"\"");
        EXPECT_EQ(run.exit_code, 6u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(read_file(target + L"\\readme.txt"),
                  "Qevtarn test package: installed by setup.exe.\n");
        EXPECT_TRUE(file_exists(target + L"\\licence.txt"));
        EXPECT_EQ(escape_units(recorded(L"AppName").c_str()), escape_units(c.name.c_str()));
        EXPECT_EQ(escape_units(recorded(L"InstallDir").c_str()),
                  escape_units((target + L"\\").c_str()));
        EXPECT_EQ(recorded(L"Probe"), L"");
        uninstall();
    }
}

TEST_F(LauncherWithRealHost, AQuoteInTheApplicationNameSetsNoOtherProperty) {
    // The package does record QEVPROBE when a command line really sets it.
    run_installer_host(L"/i qevtarn.msi QEVAPPNAME=\"x\" QEVPROBE=\"set\" /qn", work_);
    ASSERT_EQ(recorded(L"Probe"), L"set");
    uninstall();

    // What this installer host makes of the line setup.exe composes for that name (the stand-in
    // tests prove the line): Windows keeps one of each doubled quote, some Wine versions drop
    // both. Whatever it keeps, the whole name is one value and QEVPROBE stays unset.
    run_installer_host(L"/i qevtarn.msi QEVAPPNAME=\"x\"\" QEVPROBE=\"\"set\" INSTALLDIR=\"\" ",
                       work_);
    const std::wstring control = recorded(L"AppName");
    ASSERT_EQ(recorded(L"Probe"), L"");
    ASSERT_NE(control.find(L" QEVPROBE="), std::wstring::npos) << escape_units(control.c_str());
    uninstall();

    const process_result run = launch(L"\"x\\\" QEVPROBE=\\\"set\"");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(recorded(L"Probe"), L"");
    EXPECT_EQ(escape_units(recorded(L"AppName").c_str()), escape_units(control.c_str()));
}

TEST_F(LauncherWithRealHost, TheUninstallLineOfTheReadmeRemovesIt) {
    const std::wstring target = work_ + L"\\target";
    ASSERT_EQ(launch(L"app \"" + target + L"\"").exit_code, 6u);
    ASSERT_EQ(recorded(L"AppName"), L"app");
    // As deployment tools are told to run it: by the package's product code. (Wine's host leaves
    // the files behind when the target directory came from the command line; the record, which
    // goes with the product, shows the uninstallation here.)
    run_installer_host(std::wstring(L"/x ") + product_code + L" /qn", work_);
    EXPECT_EQ(recorded(L"AppName"), L"(missing)");
}

TEST_F(LauncherWithRealHost, WithoutTargetDirectoryThePackageDefaultIsUsed) {
    const process_result run = launch(L"\"Demo App\"");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(recorded(L"AppName"), L"Demo App");
    // The package is a 32-bit one, so its default folder is under the Program Files folder for
    // 32-bit programs, as this Windows reports it (Program Files (x86) on 64-bit Windows).
    const std::wstring expected = program_files_for_32_bit_programs() + L"\\Qevtarn Test\\";
    const std::wstring directory = recorded(L"InstallDir");
    EXPECT_EQ(escape_units(directory.c_str()), escape_units(expected.c_str()));
    EXPECT_TRUE(file_exists(expected + L"readme.txt")) << escape_units(expected.c_str());
}

TEST_F(LauncherWithRealHost, StatusIsSixWhateverTheInstallerReports) {
    const std::wstring target = work_ + L"\\target";
    ASSERT_EQ(launch(L"app \"" + target + L"\"").exit_code, 6u);
    // Wine's repair does not take a package path and fails; it ended, so the status is still 6.
    const process_result repair = launch(L"app \"" + target + L"\" /u");
    EXPECT_EQ(repair.exit_code, 6u);
    EXPECT_EQ(repair.output, "");

    // No package in the current directory: the installer fails, and it ended.
    std::filesystem::remove(work_ + L"\\qevtarn.msi");
    const process_result missing = launch(L"other \"" + work_ + L"\\elsewhere\"");
    EXPECT_EQ(missing.exit_code, 6u);
    EXPECT_FALSE(file_exists(work_ + L"\\elsewhere\\readme.txt"));
}

}  // namespace
