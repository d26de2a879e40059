// The built setup.exe against a real Windows Installer host (Wine's msiexec here) and a real
// package: files land in the target directory and the properties arrive as given, nothing more.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "windows_process.h"

namespace {

const char product_code[] = "{3E9D6B2A-7F41-4C58-A0D3-8B5E2C6F1A94}";
const char record_key[] = "Software\\msisetup-tests\\qevtarn";

// A value the test package recorded, or "(missing)".
std::string recorded(const char* name) {
    char value[1024];
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, record_key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return "(missing)";
    }
    return value;
}

class LauncherWithRealHost : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fresh_directory(std::string("real-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::copy_file(program_directory() + "\\qevtarn.msi", work_ + "\\qevtarn.msi");
        uninstall();
        ASSERT_EQ(recorded("AppName"), "(missing)");
    }

    void TearDown() override { uninstall(); }

    void uninstall() { run_process(system_msiexec() + " /x " + product_code + " /qn", work_); }

    process_result launch(const std::string& arguments) {
        return run_process("\"" + program_directory() + "\\real\\setup.exe\" " + arguments, work_);
    }

    std::string work_;
};

TEST_F(LauncherWithRealHost, InstallsIntoTheTargetDirectoryWithTheApplicationName) {
    const std::string target = work_ + "\\target dir";
    const process_result run = launch("\"Demo App\" \"" + target + "\"");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(read_file(target + "\\readme.txt"),
              "Qevtarn test package: installed by setup.exe.\n");
    EXPECT_TRUE(file_exists(target + "\\licence.txt"));
    EXPECT_EQ(recorded("AppName"), "Demo App");
    EXPECT_EQ(recorded("InstallDir"), target + "\\");
    EXPECT_EQ(recorded("Probe"), "");
}

TEST_F(LauncherWithRealHost, AQuoteInTheApplicationNameSetsNoOtherProperty) {
    // The package does record QEVPROBE when a command line really sets it.
    run_process(system_msiexec() + " /i qevtarn.msi QEVAPPNAME=\"x\" QEVPROBE=\"set\" /qn", work_);
    ASSERT_EQ(recorded("Probe"), "set");
    uninstall();

    const process_result run = launch("\"x\\\" QEVPROBE=\\\"set\"");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(recorded("Probe"), "");
    // The whole name stays one value. Windows keeps one of each doubled quote; Wine 8's msiexec
    // drops both, so only the text around them is compared.
    const std::string name = recorded("AppName");
    EXPECT_EQ(name.rfind("x", 0), 0u) << name;
    EXPECT_NE(name.find(" QEVPROBE="), std::string::npos) << name;
    EXPECT_EQ(name.substr(name.size() - 3), "set") << name;
}

TEST_F(LauncherWithRealHost, WithoutTargetDirectoryThePackageDefaultIsUsed) {
    const process_result run = launch("\"Demo App\"");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(recorded("AppName"), "Demo App");
    const std::string directory = recorded("InstallDir");
    EXPECT_NE(directory.find("Qevtarn Test"), std::string::npos) << directory;
    EXPECT_TRUE(file_exists(directory + "readme.txt")) << directory;
}

TEST_F(LauncherWithRealHost, StatusIsSixWhateverTheInstallerReports) {
    const std::string target = work_ + "\\target";
    ASSERT_EQ(launch("app \"" + target + "\"").exit_code, 6u);
    // Wine's repair does not take a package path and fails; it ended, so the status is still 6.
    const process_result repair = launch("app \"" + target + "\" /u");
    EXPECT_EQ(repair.exit_code, 6u);
    EXPECT_EQ(repair.output, "");

    // No package in the current directory: the installer fails, and it ended.
    std::filesystem::remove(work_ + "\\qevtarn.msi");
    const process_result missing = launch("other \"" + work_ + "\\elsewhere\"");
    EXPECT_EQ(missing.exit_code, 6u);
    EXPECT_FALSE(file_exists(work_ + "\\elsewhere\\readme.txt"));
}

}  // namespace
