// The built setup.exe, run as a script runs it, with a recording stand-in for the installer host
// beside it: exact bytes out, exact status, exact command line received by the host.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "windows_process.h"

namespace {

const char usage_text[] = "usage: setup.exe <APP_NAME> [<ALT_TARGET_DIR>]\r\n";
const std::string install_prefix = "MsiExec.exe /i qevtarn.msi ";
const std::string repair_prefix = "MsiExec.exe /fvomus qevtarn.msi ";

std::string properties(const std::string& name, const std::string& directory) {
    return "QEVAPPNAME=\"" + name + "\" INSTALLDIR=\"" + directory + "\" ";
}

class LauncherWithStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fresh_directory(std::string("standin-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        record_path_ = work_ + "\\record.txt";
        SetEnvironmentVariableA("MSISETUP_STANDIN_RECORD", record_path_.c_str());
    }

    void TearDown() override { SetEnvironmentVariableA("MSISETUP_STANDIN_RECORD", nullptr); }

    // Runs setup.exe with `arguments` appended to its path, as a command line, in the test's
    // own folder, after clearing what an earlier run recorded.
    process_result launch(const std::string& arguments,
                          const std::string& program = "standin\\setup.exe") {
        std::filesystem::remove(record_path_);
        const std::string path = program_directory() + "\\" + program;
        return run_process("\"" + path + "\"" + (arguments.empty() ? "" : " ") + arguments, work_);
    }

    std::map<std::string, std::string> record() const {
        return parse_record(read_file(record_path_));
    }

    bool host_started() const { return file_exists(record_path_); }

    std::string work_;
    std::string record_path_;
};

TEST_F(LauncherWithStandIn, NoArgumentsPrintsTheUsageTextAndStartsNothing) {
    const process_result run = launch("");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, usage_text);
    EXPECT_EQ(run.error, "");
    EXPECT_FALSE(host_started());

    // The text names setup.exe whatever the program's file is called.
    std::filesystem::copy_file(program_directory() + "\\standin\\setup.exe",
                               work_ + "\\install-helper.exe");
    const process_result renamed = run_process("\"" + work_ + "\\install-helper.exe\"", work_);
    EXPECT_EQ(renamed.exit_code, 0u);
    EXPECT_EQ(renamed.output, usage_text);
}

TEST_F(LauncherWithStandIn, ComposesTheExactInstallerCommandLine) {
    // Files that a wildcard in an argument would match, were the runtime to expand it.
    std::ofstream(work_ + "\\one.txt") << "1";
    std::ofstream(work_ + "\\two.txt") << "2";

    struct command_case {
        const char* arguments;  // as typed after the program's path
        std::string expected;   // the line the installer host must receive
    };
    const command_case cases[] = {
        {"app", install_prefix + properties("app", "")},
        {"\"My App\" \"C:\\Program Files\\My App\"",
         install_prefix + properties("My App", "C:\\Program Files\\My App")},
        {"app /u", repair_prefix + properties("app", "")},
        {"app /U", repair_prefix + properties("app", "")},
        {"app C:\\dir /u", repair_prefix + properties("app", "C:\\dir")},
        {"app /u C:\\dir", repair_prefix + properties("app", "C:\\dir")},
        {"app /u /U /u", repair_prefix + properties("app", "")},
        {"app C:\\first D:\\second", install_prefix + properties("app", "D:\\second")},
        {"app C:\\dir \"\"", install_prefix + properties("app", "")},
        {"/u C:\\dir", install_prefix + properties("/u", "C:\\dir")},
        {"/?", install_prefix + properties("/?", "")},
        {"\"\"", install_prefix + properties("", "")},
        {"app -u", install_prefix + properties("app", "-u")},
        {"app /u2", install_prefix + properties("app", "/u2")},
        {"app /uninstall", install_prefix + properties("app", "/uninstall")},
        {"app *.txt", install_prefix + properties("app", "*.txt")},
        {"app ?ne.txt /u", repair_prefix + properties("app", "?ne.txt")},
        {"app \"C:\\dir\\\\\"", install_prefix + properties("app", "C:\\dir\\")},
        // By the runtime's rules \" is a literal quote: the directory arrives as C:\dir".
        {"app \"C:\\dir\\\"", install_prefix + properties("app", "C:\\dir\"\"")},
        {"\"x\\\" QEVPROBE=\\\"set\"", install_prefix + properties("x\"\" QEVPROBE=\"\"set", "")},
        {"%s%n%x%% \"%TEMP%\"", install_prefix + properties("%s%n%x%%", "%TEMP%")},
        {"caf\xe9 C:\\\xc4rger", install_prefix + properties("caf\xe9", "C:\\\xc4rger")},
    };
    for (const command_case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const process_result run = launch(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, 6u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.error, "");
        EXPECT_EQ(record()["command"], c.expected);
    }
}

TEST_F(LauncherWithStandIn, HostInheritsDirectoryAndEnvironmentButNoHandlesOrConsole) {
    scoped_environment probe("MSISETUP_STANDIN_PROBE", "inherited value with spaces");
    const process_result run = launch("app");
    EXPECT_EQ(run.exit_code, 6u);
    // The host writes to its standard output and error whenever it can: none of it may reach ours.
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
    const auto received = record();
    EXPECT_EQ(received.at("directory"), work_);
    EXPECT_EQ(received.at("probe"), "inherited value with spaces");
    EXPECT_EQ(received.at("stdout"), "none");
    EXPECT_EQ(received.at("stderr"), "none");
    EXPECT_EQ(received.at("console"), "none");
}

TEST_F(LauncherWithStandIn, StatusIsSixWhateverTheHostReports) {
    struct exit_case {
        const char* exit_code;
        bool crash;
    };
    const exit_case cases[] = {{"0", false}, {"1603", false}, {"3010", false},
                               {"1", false}, {"-1", false},   {"0", true}};
    for (const exit_case& c : cases) {
        SCOPED_TRACE(std::string("host exit code ") + c.exit_code + (c.crash ? ", crash" : ""));
        scoped_environment exit_code("MSISETUP_STANDIN_EXIT", c.exit_code);
        scoped_environment crash("MSISETUP_STANDIN_CRASH", c.crash ? "1" : nullptr);
        const process_result run = launch("app C:\\dir");
        EXPECT_EQ(run.exit_code, 6u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(record()["finished"], "yes");
    }
}

TEST_F(LauncherWithStandIn, ReturnsOnlyAfterTheHostHasEnded) {
    scoped_environment sleep("MSISETUP_STANDIN_SLEEP_MS", "2500");
    const process_result run = launch("app /u");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(record()["finished"], "yes");
    EXPECT_GE(run.milliseconds, 2400u);  // a little room for the tick counter's granularity
}

TEST_F(LauncherWithStandIn, WhatDoesNotFitStartsNothing) {
    const std::string name255(255, 'n');
    const std::string name256(256, 'n');
    struct room_case {
        std::string arguments;
        size_t line_length;  // of the line the host receives; 0: nothing may start
    };
    // Install leaves 200 bytes for the name and directory together, repair 195; a doubled quote
    // takes two of them.
    const room_case cases[] = {
        {name256, 0},
        {name255, 0},
        {"app " + name256, 0},
        {"app " + name256 + " /u", 0},
        {"app C:\\dir " + name256, 0},
        {"app " + name256 + " C:\\dir", 55 + 3 + 6},
        {std::string(100, 'a') + " " + std::string(100, 'd'), 255},
        {std::string(100, 'a') + " " + std::string(101, 'd'), 0},
        {std::string(100, 'a') + " " + std::string(95, 'd') + " /u", 255},
        {std::string(100, 'a') + " " + std::string(96, 'd') + " /u", 0},
        {"\"a\\\"" + std::string(197, 'a') + "\"", 255},
        {"\"a\\\"" + std::string(198, 'a') + "\"", 0},
    };
    for (const room_case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const process_result run = launch(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, c.line_length != 0 ? 6u : 0u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(host_started(), c.line_length != 0);
        if (c.line_length != 0) {
            EXPECT_EQ(record()["command"].size(), c.line_length);
        }
    }
}

TEST_F(LauncherWithStandIn, HostThatCannotStartGivesStatusZeroAndNoOutput) {
    // Beside this copy, MsiExec.exe is a text file: found first, and refused by the platform.
    const process_result run = launch("app C:\\dir", "broken\\setup.exe");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
}

// Run with Wine's own msiexec switched off (WINEDLLOVERRIDES=msiexec.exe=d, which Wine reads
// only from the environment it was started with), so that no installer host can be found.
TEST(LauncherWithoutInstallerHost, GivesStatusZeroAndNoOutput) {
    const char* overrides = getenv("WINEDLLOVERRIDES");
    if (overrides == nullptr || strstr(overrides, "msiexec.exe=d") == nullptr) {
        GTEST_SKIP() << "needs WINEDLLOVERRIDES=msiexec.exe=d";
    }
    const std::string work = fresh_directory("no-host");
    ASSERT_FALSE(run_process(system_msiexec() + " /?", work).started)
        << "the system's installer host still starts";

    const process_result run =
        run_process("\"" + program_directory() + "\\real\\setup.exe\" app C:\\dir", work);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
}

}  // namespace
