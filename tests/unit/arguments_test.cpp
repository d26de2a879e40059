#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_installer_run.h"
#include "setup.h"

namespace {

// An argument vector as the runtime hands it over, argument 0 included.
struct argument_vector {
    explicit argument_vector(std::vector<std::string> arguments) : texts(std::move(arguments)) {
        texts.insert(texts.begin(), "C:\\Downloads\\setup.exe");
        pointers.assign(texts.size() + 1, nullptr);
        std::transform(texts.begin(), texts.end(), pointers.begin(),
                       [](std::string& text) { return text.data(); });
    }
    int count() const { return static_cast<int>(texts.size()); }
    char** vector() { return pointers.data(); }

    std::vector<std::string> texts;
    std::vector<char*> pointers;
};

struct parse_case {
    std::vector<std::string> arguments;
    std::string application_name;
    std::string target_directory;
    install_mode mode;
};

TEST(ParseArguments, PicksNameDirectoryAndMode) {
    const parse_case cases[] = {
        {{"app"}, "app", "", MODE_INSTALL},
        {{"app", "/u"}, "app", "", MODE_REPAIR},
        {{"app", "/U"}, "app", "", MODE_REPAIR},
        {{"app", "C:\\dir", "/u"}, "app", "C:\\dir", MODE_REPAIR},
        {{"app", "/U", "C:\\dir"}, "app", "C:\\dir", MODE_REPAIR},
        {{"app", "C:\\first", "D:\\second"}, "app", "D:\\second", MODE_INSTALL},
        {{"app", "C:\\dir", ""}, "app", "", MODE_INSTALL},
        {{"/u"}, "/u", "", MODE_INSTALL},
        {{"/U", "/u"}, "/U", "", MODE_REPAIR},
        {{""}, "", "", MODE_INSTALL},
        {{"app", "-u"}, "app", "-u", MODE_INSTALL},
        {{"app", "/u "}, "app", "/u ", MODE_INSTALL},
        {{"app", "/uu"}, "app", "/uu", MODE_INSTALL},
        {{"app", "u"}, "app", "u", MODE_INSTALL},
        {{"app", "/"}, "app", "/", MODE_INSTALL},
        {{"app", "/u", "/u", "/U"}, "app", "", MODE_REPAIR},
        {{"app", "/u", "C:\\a", "/U", "D:\\b"}, "app", "D:\\b", MODE_REPAIR},
        {{"My App", "C:\\Program Files\\My App\\"},
         "My App",
         "C:\\Program Files\\My App\\",
         MODE_INSTALL},
    };
    for (const parse_case& c : cases) {
        argument_vector arguments(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        launch_settings settings{};
        EXPECT_EQ(parse_arguments(arguments.count(), arguments.vector(), settings), 1);
        EXPECT_STREQ(settings.application_name, c.application_name.c_str());
        EXPECT_STREQ(settings.target_directory, c.target_directory.c_str());
        EXPECT_EQ(settings.mode, c.mode);
    }
}

TEST(ParseArguments, RefusesANameOrDirectoryThatDoesNotFitItsField) {
    const std::string fits(255, 'x');
    const std::string too_long(256, 'x');
    struct length_case {
        std::vector<std::string> arguments;
        int fits;
    };
    const length_case cases[] = {
        {{fits}, 1},
        {{too_long}, 0},
        {{"app", fits}, 1},
        {{"app", too_long}, 0},
        {{"app", too_long, "/u"}, 0},
        {{"app", fits, too_long}, 0},
        // Only the directory that ends up used counts.
        {{"app", too_long, "C:\\dir"}, 1},
        {{"app", too_long, ""}, 1},
        {{too_long, "C:\\dir"}, 0},
    };
    for (const length_case& c : cases) {
        argument_vector arguments(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        launch_settings settings{};
        EXPECT_EQ(parse_arguments(arguments.count(), arguments.vector(), settings), c.fits);
        // Whatever happened, each field still ends within its width.
        EXPECT_LT(std::string(settings.application_name).size(), text_field_size);
        EXPECT_LT(std::string(settings.target_directory).size(), text_field_size);
    }
}

class LauncherMain : public ::testing::Test {
protected:
    void SetUp() override { fake_run = fake_installer_run{}; }
};

TEST_F(LauncherMain, WithoutApplicationNameRunsNothing) {
    argument_vector arguments({});
    EXPECT_EQ(launcher_main(arguments.count(), arguments.vector()), 0);
    EXPECT_EQ(fake_run.calls, 0);
}

TEST_F(LauncherMain, RunsTheInstallerOnceAndReturnsItsStatusUnchanged) {
    for (const int status : {6, 0, 42}) {
        fake_run.result = status;
        argument_vector arguments({"app", "C:\\dir", "/u"});
        EXPECT_EQ(launcher_main(arguments.count(), arguments.vector()), status);
    }
    EXPECT_EQ(fake_run.calls, 3);
    EXPECT_STREQ(fake_run.last.application_name, "app");
    EXPECT_STREQ(fake_run.last.target_directory, "C:\\dir");
    EXPECT_EQ(fake_run.last.mode, MODE_REPAIR);
}

TEST_F(LauncherMain, StartsEachRunWithoutTargetDirectory) {
    argument_vector with_directory({"app", "C:\\dir"});
    launcher_main(with_directory.count(), with_directory.vector());
    argument_vector without_directory({"other"});
    launcher_main(without_directory.count(), without_directory.vector());
    EXPECT_STREQ(fake_run.last.target_directory, "");
    EXPECT_EQ(fake_run.last.mode, MODE_INSTALL);
}

TEST_F(LauncherMain, RefusesOverlongArgumentsWithoutRunningTheInstaller) {
    fake_run.result = 6;
    argument_vector arguments({std::string(256, 'n'), "C:\\dir"});
    EXPECT_EQ(launcher_main(arguments.count(), arguments.vector()), 0);
    EXPECT_EQ(fake_run.calls, 0);
}

}  // namespace
