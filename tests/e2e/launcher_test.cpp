// The built setup.exe, run as a script runs it, with a recording stand-in in place of the system's
// installer host and copies of it planted where a program search would look first: exact bytes
// out, exact status, exact command line received by the host, and only the system's host run.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "escaped_units.h"
#include "windows_process.h"

namespace {

const char usage_text[] = "usage: setup.exe <APP_NAME> [<ALT_TARGET_DIR>]\r\n";
const std::wstring install_prefix = L"MsiExec.exe /i qevtarn.msi ";
const std::wstring repair_prefix = L"MsiExec.exe /fvomus qevtarn.msi ";

std::wstring properties(const std::wstring& name, const std::wstring& directory) {
    return L"QEVAPPNAME=\"" + name + L"\" INSTALLDIR=\"" + directory + L"\" ";
}

std::wstring repeated(const std::wstring& text, size_t count) {
    std::wstring result;
    for (size_t i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

class LauncherWithStandIn : public ::testing::Test {
protected:
    // The prefix's own msiexec.exe, put back after each test for the other test entries.
    static void SetUpTestSuite() { system_host_ = read_file(system_msiexec()); }

    void SetUp() override {
        work_ = fresh_directory(std::string("standin-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        record_path_ = work_ + L"\\record.txt";
        SetEnvironmentVariableW(L"MSISETUP_STANDIN_RECORD", record_path_.c_str());
        // The stand-in is the system's host; a copy planted beside setup.exe (in the layout) and
        // one in the current directory would run first, were the host found by a search.
        const std::wstring stand_in = program_directory() + L"\\standin\\MsiExec.exe";
        // (Not rewritten when it is in place already: a crashed host may still hold it open.)
        if (read_file(system_msiexec()) != read_file(stand_in)) {
            std::filesystem::copy_file(stand_in, system_msiexec(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
        std::filesystem::copy_file(stand_in, work_ + L"\\MsiExec.exe");
    }

    void TearDown() override {
        SetEnvironmentVariableW(L"MSISETUP_STANDIN_RECORD", nullptr);
        std::ofstream(std::filesystem::path(system_msiexec()), std::ios::binary | std::ios::trunc)
            << system_host_;
    }

    // Runs setup.exe with `arguments` appended to its path, as a command line, in the test's
    // own folder, after clearing what an earlier run recorded.
    process_result launch(const std::wstring& arguments,
                          const std::wstring& program = L"standin\\setup.exe") {
        std::filesystem::remove(record_path_);
        const std::wstring path = program_directory() + L"\\" + program;
        return run_process(L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" ") + arguments,
                           work_);
    }

    std::map<std::string, std::string> record() const {
        return parse_record(read_file(record_path_));
    }

    bool host_started() const { return file_exists(record_path_); }

    // The stand-in started directly by the system's path, the way setup.exe must start it, and
    // what it recorded. Its `program` is that path as the running host sees it in this layout: on
    // 64-bit Windows a 32-bit program's system32 leads to syswow64, a 64-bit one's does not.
    std::map<std::string, std::string> control_run() {
        std::filesystem::remove(record_path_);
        run_process(quoted_system_msiexec(), work_);
        return record();
    }

    static std::string system_host_;
    std::wstring work_;
    std::wstring record_path_;
};

std::string LauncherWithStandIn::system_host_;

TEST_F(LauncherWithStandIn, NoArgumentsPrintsTheUsageTextAndStartsNothing) {
    const process_result run = launch(L"");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, usage_text);
    EXPECT_EQ(run.error, "");
    EXPECT_FALSE(host_started());

    // The text names setup.exe whatever the program's file is called.
    std::filesystem::copy_file(program_directory() + L"\\standin\\setup.exe",
                               work_ + L"\\install-helper.exe");
    const process_result renamed = run_process(L"\"" + work_ + L"\\install-helper.exe\"", work_);
    EXPECT_EQ(renamed.exit_code, 0u);
    EXPECT_EQ(renamed.output, usage_text);
}

TEST_F(LauncherWithStandIn, ComposesTheExactInstallerCommandLine) {
    // Files that a wildcard in an argument would match, were the runtime to expand it.
    std::ofstream(std::filesystem::path(work_ + L"\\one.txt")) << "1";
    std::ofstream(std::filesystem::path(work_ + L"\\two.txt")) << "2";

    struct command_case {
        const wchar_t* arguments;  // as typed after the program's path
        std::wstring expected;     // the line the installer host must receive
    };
    const command_case cases[] = {
        {L"app", install_prefix + properties(L"app", L"")},
        {L"\"My App\" \"C:\\Program Files\\My App\"",
         install_prefix + properties(L"My App", L"C:\\Program Files\\My App")},
        {L"app /u", repair_prefix + properties(L"app", L"")},
        {L"app /U", repair_prefix + properties(L"app", L"")},
        {L"app C:\\dir /u", repair_prefix + properties(L"app", L"C:\\dir")},
        {L"app /u C:\\dir", repair_prefix + properties(L"app", L"C:\\dir")},
        {L"app /u /U /u", repair_prefix + properties(L"app", L"")},
        {L"app C:\\first D:\\second", install_prefix + properties(L"app", L"D:\\second")},
        {L"app C:\\dir \"\"", install_prefix + properties(L"app", L"")},
        {L"/u C:\\dir", install_prefix + properties(L"/u", L"C:\\dir")},
        {L"/?", install_prefix + properties(L"/?", L"")},
        {L"\"\"", install_prefix + properties(L"", L"")},
        {L"app -u", install_prefix + properties(L"app", L"-u")},
        {L"app /u2", install_prefix + properties(L"app", L"/u2")},
        {L"app /uninstall", install_prefix + properties(L"app", L"/uninstall")},
        {L"app *.txt", install_prefix + properties(L"app", L"*.txt")},
        {L"app ?ne.txt /u", repair_prefix + properties(L"app", L"?ne.txt")},
        {L"app \"C:\\dir\\\\\"", install_prefix + properties(L"app", L"C:\\dir\\")},
        // By the runtime's rules \" is a literal quote: the directory arrives as C:\dir".
        {L"app \"C:\\dir\\\"", install_prefix + properties(L"app", L"C:\\dir\"\"")},
        {L"\"x\\\" QEVPROBE=\\\"set\"",
         install_prefix + properties(L"x\"\" QEVPROBE=\"\"set", L"")},
        {L"%s%n%x%% \"%TEMP%\"", install_prefix + properties(L"%s%n%x%%", L"%TEMP%")},
        // Any language, unchanged: no code page in between, so nothing turns into '?' or a
        // look-alike.
        {L"café C:\\Ärger\\Ŝoftware", install_prefix + properties(L"café", L"C:\\Ärger\\Ŝoftware")},
        {L"\"Приложение «Ω»\" C:\\Программы\\テスト /u",
         repair_prefix + properties(L"Приложение «Ω»", L"C:\\Программы\\テスト")},
        {L"Ω \"C:\\应用 程序\\😀\"", install_prefix + properties(L"Ω", L"C:\\应用 程序\\😀")},
        // Look-alikes of the switch and the quote are ordinary text: no repair, no doubling.
        {L"app ／u", install_prefix + properties(L"app", L"／u")},
        {L"app /ｕ", install_prefix + properties(L"app", L"/ｕ")},
        {L"\"x＂ QEVPROBE=＂set\"", install_prefix + properties(L"x＂ QEVPROBE=＂set", L"")},
        // Unpaired surrogates and a line break pass unit for unit.
        {L"\xD800 \"C:\\a\xDC00 b\"", install_prefix + properties(L"\xD800", L"C:\\a\xDC00 b")},
        {L"\"a\nb\" \xD83D\xDE00\xD83D",
         install_prefix + properties(L"a\nb", L"\xD83D\xDE00\xD83D")},
    };
    const std::string host = control_run()["program"];
    ASSERT_NE(host, "");
    for (const command_case& c : cases) {
        SCOPED_TRACE(escape_units(c.arguments));
        const process_result run = launch(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, 6u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.error, "");
        EXPECT_EQ(record()["command"], escape_units(c.expected.c_str()));
        EXPECT_EQ(record()["program"], host);
    }
}

// An inheritable semaphore at the count 7: an object that only this test could have made, for
// the stand-in to look for by its handle value (MSISETUP_STANDIN_SEMAPHORE).
HANDLE inheritable_semaphore() {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateSemaphoreW(&attributes, 7, 100, nullptr);
}

std::string handle_value(HANDLE handle) {
    return std::to_string(reinterpret_cast<uintptr_t>(handle));
}

TEST_F(LauncherWithStandIn, HostInheritsDirectoryAndEnvironmentButNoHandlesOrConsole) {
    // The stand-in does see a handle that reaches it: started directly, with inheritance on.
    const HANDLE control = inheritable_semaphore();
    std::string reached;
    {
        scoped_environment named("MSISETUP_STANDIN_SEMAPHORE", handle_value(control).c_str());
        reached = control_run()["caller_handle"];
    }
    CloseHandle(control);
    ASSERT_EQ(reached, "reached");

    // setup.exe is started the way an agent that reads its output starts it: handle inheritance
    // on, so it holds the caller's semaphore and the write ends of the caller's pipes.
    const HANDLE semaphore = inheritable_semaphore();
    scoped_environment named("MSISETUP_STANDIN_SEMAPHORE", handle_value(semaphore).c_str());
    scoped_environment probe("MSISETUP_STANDIN_PROBE", "inherited value with spaces");
    const process_result run = launch(L"app");
    CloseHandle(semaphore);
    EXPECT_EQ(run.exit_code, 6u);
    // The host writes to its standard output and error whenever it can: none of it may reach ours.
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
    const std::pair<const char*, std::string> expected[] = {
        {"directory", escape_units(work_.c_str())},
        {"probe", "inherited value with spaces"},
        {"stdout", "none"},
        {"stderr", "none"},
        {"console", "none"},
        // No handle of the caller's, which would keep its pipes open as long as the host runs.
        {"caller_handle", "none"},
        // A start-up record that asks for nothing, so the installer shows its own window.
        {"startup_flags", "0"},
    };
    const auto received = record();
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(received.at(key), value)
            << key << " (show_window=" << received.at("show_window") << ")";
    }
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
        const process_result run = launch(L"app C:\\dir");
        EXPECT_EQ(run.exit_code, 6u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(record()["finished"], "yes");
    }
}

TEST_F(LauncherWithStandIn, ReturnsOnlyAfterTheHostHasEnded) {
    scoped_environment sleep("MSISETUP_STANDIN_SLEEP_MS", "2500");
    const process_result run = launch(L"app /u");
    EXPECT_EQ(run.exit_code, 6u);
    EXPECT_EQ(record()["finished"], "yes");
    EXPECT_GE(run.milliseconds, 2400u);  // a little room for the tick counter's granularity
}

TEST_F(LauncherWithStandIn, WhatDoesNotFitStartsNothing) {
    const std::wstring name255(255, 'n');
    const std::wstring name256(256, 'n');
    const std::wstring emoji51 = repeated(L"😀", 51);  // 102 units
    struct room_case {
        std::wstring arguments;
        size_t line_length;  // in units, of the line the host receives; 0: nothing may start
    };
    // Install leaves 200 units for the name and directory together, repair 195; a doubled quote
    // takes two of them, a surrogate pair two.
    const room_case cases[] = {
        {name256, 0},
        {name255, 0},
        {L"app " + name256, 0},
        {L"app " + name256 + L" /u", 0},
        {L"app C:\\dir " + name256, 0},
        {L"app " + name256 + L" C:\\dir", 55 + 3 + 6},
        {std::wstring(100, 'a') + L" " + std::wstring(100, 'd'), 255},
        {std::wstring(100, 'a') + L" " + std::wstring(101, 'd'), 0},
        {std::wstring(100, 'a') + L" " + std::wstring(95, 'd') + L" /u", 255},
        {std::wstring(100, 'a') + L" " + std::wstring(96, 'd') + L" /u", 0},
        {L"\"a\\\"" + std::wstring(197, 'a') + L"\"", 255},
        {L"\"a\\\"" + std::wstring(198, 'a') + L"\"", 0},
        {emoji51 + L" " + std::wstring(98, 'd'), 255},
        {emoji51 + L" " + std::wstring(99, 'd'), 0},
        {emoji51 + L" " + std::wstring(91, 'd') + L"😀 /u", 255},
        {emoji51 + L" " + std::wstring(92, 'd') + L"😀 /u", 0},
        {repeated(L"😀", 127) + L" C:\\dir", 0},
    };
    for (const room_case& c : cases) {
        SCOPED_TRACE(escape_units(c.arguments.c_str()));
        const process_result run = launch(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_code, c.line_length != 0 ? 6u : 0u);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(host_started(), c.line_length != 0);
        if (c.line_length != 0) {
            EXPECT_EQ(record()["length"], std::to_string(c.line_length));
        }
    }
}

TEST_F(LauncherWithStandIn, BrokenSystemHostGivesStatusZeroAndNoPlantedHostRuns) {
    // The system's host is no program at all; the stand-ins planted beside setup.exe and in the
    // current directory would still record, were either of them started instead.
    std::ofstream(std::filesystem::path(system_msiexec()), std::ios::binary | std::ios::trunc)
        << "This is not a program.\n";
    const process_result run = launch(L"app C:\\dir");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
    EXPECT_FALSE(host_started());
}

// Every entry runs in a prefix of the layout its name ends with (MSISETUP_WINDOWS_LAYOUT): a
// prefix of the other kind would pass the other tests without ever trying this layout.
TEST(WindowsLayout, IsTheOneTheTestEntryNames) {
    const char* layout = getenv("MSISETUP_WINDOWS_LAYOUT");
    ASSERT_NE(layout, nullptr) << "needs MSISETUP_WINDOWS_LAYOUT=32 or 64";
    EXPECT_EQ(on_64_bit_windows() ? "64" : "32", std::string(layout));
}

// Run with Wine's own msiexec switched off (WINEDLLOVERRIDES=msiexec.exe=d, which Wine reads
// only from the environment it was started with), so that no installer host can be started.
TEST(LauncherWithoutInstallerHost, GivesStatusZeroAndNoOutput) {
    const char* overrides = getenv("WINEDLLOVERRIDES");
    if (overrides == nullptr || strstr(overrides, "msiexec.exe=d") == nullptr) {
        GTEST_SKIP() << "needs WINEDLLOVERRIDES=msiexec.exe=d";
    }
    const std::wstring work = fresh_directory("no-host");
    ASSERT_FALSE(run_installer_host(L"/?", work).started)
        << "the system's installer host still starts";

    const process_result run =
        run_process(L"\"" + program_directory() + L"\\real\\setup.exe\" app C:\\dir", work);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error, "");
}

}  // namespace
