#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fake_installer_run.h"
#include "setup.h"

namespace {

using text = std::basic_string<text_unit>;
#define T(literal) text(TEXT_UNITS(literal))

// An argument vector as the runtime hands it over, argument 0 included.
struct argument_vector {
    explicit argument_vector(std::vector<text> arguments) : texts(std::move(arguments)) {
        texts.insert(texts.begin(), T("C:\\Downloads\\setup.exe"));
        pointers.assign(texts.size() + 1, nullptr);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            pointers[i] = texts[i].data();
        }
    }
    int count() const { return static_cast<int>(texts.size()); }
    text_unit** vector() { return pointers.data(); }

    std::vector<text> texts;
    std::vector<text_unit*> pointers;
};

struct parse_case {
    std::vector<text> arguments;
    text application_name;
    text target_directory;
    install_mode mode;
};

TEST(ParseArguments, PicksNameDirectoryAndMode) {
    const parse_case cases[] = {
        {{T("app")}, T("app"), T(""), MODE_INSTALL},
        {{T("app"), T("/u")}, T("app"), T(""), MODE_REPAIR},
        {{T("app"), T("/U")}, T("app"), T(""), MODE_REPAIR},
        {{T("app"), T("C:\\dir"), T("/u")}, T("app"), T("C:\\dir"), MODE_REPAIR},
        {{T("app"), T("/U"), T("C:\\dir")}, T("app"), T("C:\\dir"), MODE_REPAIR},
        {{T("app"), T("C:\\first"), T("D:\\second")}, T("app"), T("D:\\second"), MODE_INSTALL},
        {{T("app"), T("C:\\dir"), T("")}, T("app"), T(""), MODE_INSTALL},
        {{T("/u")}, T("/u"), T(""), MODE_INSTALL},
        {{T("/U"), T("/u")}, T("/U"), T(""), MODE_REPAIR},
        {{T("")}, T(""), T(""), MODE_INSTALL},
        {{T("app"), T("-u")}, T("app"), T("-u"), MODE_INSTALL},
        {{T("app"), T("/u ")}, T("app"), T("/u "), MODE_INSTALL},
        {{T("app"), T("/uu")}, T("app"), T("/uu"), MODE_INSTALL},
        {{T("app"), T("u")}, T("app"), T("u"), MODE_INSTALL},
        {{T("app"), T("/")}, T("app"), T("/"), MODE_INSTALL},
        {{T("app"), T("/u"), T("/u"), T("/U")}, T("app"), T(""), MODE_REPAIR},
        {{T("app"), T("/u"), T("C:\\a"), T("/U"), T("D:\\b")}, T("app"), T("D:\\b"), MODE_REPAIR},
        {{T("My App"), T("C:\\Program Files\\My App\\")},
         T("My App"),
         T("C:\\Program Files\\My App\\"),
         MODE_INSTALL},
        // Units pass as they are; look-alikes of the switch are directories.
        {{T("Приложение «Ω»"), T("C:\\Программы\\テスト"), T("/U")},
         T("Приложение «Ω»"),
         T("C:\\Программы\\テスト"),
         MODE_REPAIR},
        {{T("app"), T("／u")}, T("app"), T("／u"), MODE_INSTALL},
        {{T("app"), T("/ｕ")}, T("app"), T("/ｕ"), MODE_INSTALL},
        {{T("app"), T("/u\xD800")}, T("app"), T("/u\xD800"), MODE_INSTALL},
        {{T("\xDC00\U0001F600\xD83D"), T("\xD83D")},
         T("\xDC00\U0001F600\xD83D"),
         T("\xD83D"),
         MODE_INSTALL},
    };
    for (const parse_case& c : cases) {
        argument_vector arguments(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        launch_settings settings{};
        EXPECT_EQ(parse_arguments(arguments.count(), arguments.vector(), settings), 1);
        EXPECT_EQ(text(settings.application_name), c.application_name);
        EXPECT_EQ(text(settings.target_directory), c.target_directory);
        EXPECT_EQ(settings.mode, c.mode);
    }
}

TEST(ParseArguments, RefusesANameOrDirectoryThatDoesNotFitItsField) {
    const text fits(255, 'x');
    const text too_long(256, 'x');
    // Units, not characters: 127 emoji are 254 units, 128 are 256.
    text emoji;
    for (int i = 0; i < 127; ++i) {
        emoji += T("\U0001F600");
    }
    struct length_case {
        std::vector<text> arguments;
        int fits;
    };
    const length_case cases[] = {
        {{fits}, 1},
        {{too_long}, 0},
        {{T("app"), fits}, 1},
        {{T("app"), too_long}, 0},
        {{T("app"), too_long, T("/u")}, 0},
        {{T("app"), fits, too_long}, 0},
        // Only the directory that ends up used counts.
        {{T("app"), too_long, T("C:\\dir")}, 1},
        {{T("app"), too_long, T("")}, 1},
        {{too_long, T("C:\\dir")}, 0},
        {{emoji, emoji + T("x")}, 1},
        {{emoji + T("\U0001F600")}, 0},
        {{T("app"), emoji + T("xy")}, 0},
    };
    for (const length_case& c : cases) {
        argument_vector arguments(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        launch_settings settings{};
        EXPECT_EQ(parse_arguments(arguments.count(), arguments.vector(), settings), c.fits);
        // Whatever happened, each field still ends within its width.
        EXPECT_LT(text(settings.application_name).size(), text_field_size);
        EXPECT_LT(text(settings.target_directory).size(), text_field_size);
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
        argument_vector arguments({T("app"), T("C:\\dir"), T("/u")});
        EXPECT_EQ(launcher_main(arguments.count(), arguments.vector()), status);
    }
    EXPECT_EQ(fake_run.calls, 3);
    EXPECT_EQ(text(fake_run.last.application_name), T("app"));
    EXPECT_EQ(text(fake_run.last.target_directory), T("C:\\dir"));
    EXPECT_EQ(fake_run.last.mode, MODE_REPAIR);
}

TEST_F(LauncherMain, StartsEachRunWithoutTargetDirectory) {
    argument_vector with_directory({T("app"), T("C:\\dir")});
    launcher_main(with_directory.count(), with_directory.vector());
    argument_vector without_directory({T("other")});
    launcher_main(without_directory.count(), without_directory.vector());
    EXPECT_EQ(text(fake_run.last.target_directory), T(""));
    EXPECT_EQ(fake_run.last.mode, MODE_INSTALL);
}

TEST_F(LauncherMain, RefusesOverlongArgumentsWithoutRunningTheInstaller) {
    fake_run.result = 6;
    argument_vector arguments({text(256, 'n'), T("C:\\dir")});
    EXPECT_EQ(launcher_main(arguments.count(), arguments.vector()), 0);
    EXPECT_EQ(fake_run.calls, 0);
}

}  // namespace
