// The display's choices: the scale for a desktop, the picture's place, the mouse in game pixels,
// the remembered mode and the command line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "platform/command_line.h"
#include "platform/display.h"
#include "platform/settings.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

struct ScaleCase {
    const char* name;
    DesktopArea area;
    int window_scale;
    std::tuple<int, int, int> fullscreen;  // scale, x, y of the picture
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

class Scale : public testing::TestWithParam<ScaleCase> {};

TEST_P(Scale, WindowFitsTheWorkAreaWithItsTitleBar) {
    EXPECT_EQ(window_scale_for(GetParam().area), GetParam().window_scale);
}

TEST_P(Scale, FullscreenCentresTheLargestWholeScale) {
    const DisplayLayout l = fullscreen_layout(GetParam().area);
    EXPECT_EQ(std::tuple(l.scale, l.x, l.y), GetParam().fullscreen);
    EXPECT_EQ(std::tuple(l.screen_w, l.screen_h), std::tuple(GetParam().area.w, GetParam().area.h));
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, Scale,
    testing::Values(ScaleCase{"vga", {0, 0, 640, 480}, 1, {1, 0, 0}},
                    ScaleCase{"full_hd", {0, 0, 1920, 1080}, 2, {2, 320, 60}},
                    ScaleCase{"full_hd_less_a_panel", {0, 0, 1920, 1040}, 2, {2, 320, 40}},
                    ScaleCase{"qhd", {0, 0, 2560, 1440}, 2, {3, 320, 0}},
                    ScaleCase{"uhd", {0, 0, 3840, 2160}, 4, {4, 640, 120}},
                    ScaleCase{"portrait", {0, 0, 1080, 1920}, 1, {1, 220, 720}}),
    case_name<ScaleCase>);

TEST(WindowLayout, IsThePictureScaledWithNoBorder) {
    const DisplayLayout l = window_layout(3);
    EXPECT_EQ(std::tuple(l.screen_w, l.screen_h, l.x, l.y), std::tuple(1920, 1440, 0, 0));
}

TEST(MouseMapping, BlocksOfKPixelsAreOneGamePixel) {
    EXPECT_EQ(to_picture(320 + 0, 320, 2, 640), 0);
    EXPECT_EQ(to_picture(320 + 1, 320, 2, 640), 0);
    EXPECT_EQ(to_picture(320 + 2, 320, 2, 640), 1);
    EXPECT_EQ(to_picture(320 + 1279, 320, 2, 640), 639);
}

TEST(MouseMapping, TheBorderHoldsAtThePictureEdge) {
    EXPECT_EQ(to_picture(0, 320, 2, 640), 0);
    EXPECT_EQ(to_picture(319, 320, 2, 640), 0);
    EXPECT_EQ(to_picture(1600, 320, 2, 640), 639);
    EXPECT_EQ(to_picture(1919, 320, 2, 640), 639);
}

class Settings : public testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("vorn-settings-" + std::to_string(getpid()));
        path = (folder / "sub" / "display.cfg").string();
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
    std::string path;
};

TEST_F(Settings, MissingMeansAWindow) { EXPECT_FALSE(load_fullscreen_choice(path)); }

TEST_F(Settings, RoundTrip) {
    save_fullscreen_choice(path, true);
    EXPECT_TRUE(load_fullscreen_choice(path));
    save_fullscreen_choice(path, false);
    EXPECT_FALSE(load_fullscreen_choice(path));
    EXPECT_FALSE(fs::exists(path + ".new"));
}

TEST_F(Settings, GarbledMeansAWindowAndOneLine) {
    const std::string garbled[] = {"fullscreen = maybe\n", "fullscreen\n", "scale = 2\nfullscreen = yes\n",
                             std::string("\xff\xfe\0garbage", 10)};
    for (std::string text : garbled) {
        save_fullscreen_choice(path, true);
        write_file(path, text);
        testing::internal::CaptureStderr();
        const bool fullscreen = load_fullscreen_choice(path);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(fullscreen) << text;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << text;
    }
    write_file(path, std::string(5000, '#') + "\nfullscreen = yes\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_fullscreen_choice(path)) << "a file far too long for the setting";
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("not understood"));
}

TEST_F(Settings, AFolderIsNotRead) {
    fs::create_directories(path);
    EXPECT_FALSE(load_fullscreen_choice(path));
}

// Options as the game's main() gets them.
CommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "ghosts-of-vorn");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineOptions, NoneMeansTheRememberedModeSizedToTheDesktop) {
    const CommandLine line = parse({});
    EXPECT_EQ(std::tuple(line.run, line.fullscreen_given, line.choice.scale), std::tuple(true, false, 0));
}

TEST(CommandLineOptions, ModesAndScale) {
    EXPECT_TRUE(parse({"--fullscreen"}).choice.fullscreen);
    EXPECT_FALSE(parse({"--fullscreen", "--window"}).choice.fullscreen);
    const CommandLine scaled = parse({"--scale", "3"});
    EXPECT_EQ(std::tuple(scaled.choice.fullscreen, scaled.choice.scale, scaled.fullscreen_given),
              std::tuple(false, 3, true));
    EXPECT_EQ(parse({"--scale=2"}).choice.scale, 2);
}

TEST(CommandLineOptions, HelpAndVersionEndAtOnceWithStatusZero) {
    for (const char* option : {"--help", "--version"}) {
        testing::internal::CaptureStdout();
        const CommandLine line = parse({option});
        const std::string said = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::tuple(line.run, line.exit_status), std::tuple(false, 0)) << option;
        EXPECT_THAT(said, HasSubstr("ghosts-of-vorn")) << option;
    }
}

TEST(CommandLineOptions, AnythingElseIsAUsageErrorWithStatusTwo) {
    for (auto args : std::vector<std::vector<std::string>>{{"--bogus"}, {"--scale"}, {"--scale", "0"},
                                                          {"--scale", "x"}, {"--scale=17"}, {"play"}}) {
        testing::internal::CaptureStderr();
        const CommandLine line = parse(args);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::tuple(line.run, line.exit_status), std::tuple(false, 2)) << args[0];
        EXPECT_THAT(said, HasSubstr("Usage: ghosts-of-vorn")) << args[0];
    }
}
