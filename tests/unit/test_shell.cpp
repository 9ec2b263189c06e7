// Start-up (the datafile's path and each failure), the HUD, the countdown and the main loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>
#include <tuple>

#include "play/crosshair.h"
#include "shell/game_state.h"
#include "shell/frame.h"
#include "shell/datapath.h"
#include "platform/display.h"
#include "platform/focus.h"
#include "shell/main_loop.h"
#include "shell/pacing.h"
#include "shell/startup.h"
#include "support/test_support.h"

#include <xalleg.h>

namespace fs = std::filesystem;
using testing::HasSubstr;

struct PathCase {
    const char* name;
    std::function<void()> prepare;
    const char* path;
};

using DatafilePath = CaseTest<PathCase>;

// The [data] path, with the library's settings left as they were; a file the library would block
// on, read for ever or read past its buffer is never handed to it. Files of any other text are
// the fuzz corpus's.
TEST_P(DatafilePath, FromTheFileOrTheDefaultAtOnce) {
    const std::string sound_device = get_config_string("sound", "alsa_device", "");
    ASSERT_NE(sound_device, "");
    GetParam().prepare();
    auto path = std::async(std::launch::async, [] { return datafile_path("data.dat"); });
    if (path.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        ADD_FAILURE() << "still reading after 3 s";
        _exit(1);  // the reader cannot be stopped
    }
    EXPECT_EQ(path.get(), GetParam().path);
    EXPECT_EQ(get_config_string("sound", "alsa_device", ""), sound_device);
    EXPECT_STREQ(get_config_string("data", "path", "unset"), "unset");
}

std::string accented(int pairs) {
    std::string text;
    for (int i = 0; i < pairs; ++i)
        text += "\xc3\xa9";
    return text;
}

const PathCase path_files[] = {
    {"no_file", [] {}, "data.dat"},
    {"a_long_accented_last_line",  // 256 bytes with its "# ", and no line end
     [] { write_file("datapath.cfg", "[data]\npath = /opt/x.dat\n# " + accented(127)); }, "data.dat"},
    {"its_first_64_KiB",
     [] { write_file("datapath.cfg", "[data]\npath = /opt/big.dat\n" + std::string(70000, '#') + "\n"); },
     "/opt/big.dat"},
    {"a_FIFO", [] { mkfifo("datapath.cfg", 0600); }, "data.dat"},
    {"a_device", [] { fs::create_symlink("/dev/zero", "datapath.cfg"); }, "data.dat"}};
INSTANTIATE_TEST_SUITE_P(Files, DatafilePath, testing::ValuesIn(path_files), case_name<PathCase>);

TEST(Hud, TextsAtTheirPlacesOverAPointerHeldStill) {
    start_game();
    position_mouse(600, 440);
    const int score_x = 640 - text_length(item_font(TEXT_FONT), "Score: 000000000000000000");
    struct { int bombs, time, score; } cases[] = {{0, 120, 0}, {1, 0, 1234567890}, {3, 57, 42}};
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << c.bombs << " bombs, score " << c.score);
        flash_bombs = c.bombs;
        time_left = c.time;
        score = c.score;
        draw_frame();
        std::vector<TextAt> texts = {{TEXT_FONT, 0, 3, "Heat Measure"},
                                     {TEXT_FONT, 0, 60, "Time Left: " + std::to_string(c.time)},
                                     {TEXT_FONT, score_x, 0, "Score: " + std::to_string(c.score)},
                                     {TEXT_FONT, 0, 40, c.bombs ? "Flash Bombs: " + std::to_string(c.bombs) : ""}};
        auto frame_and_pointer = [](BITMAP* b) {
            rect(b, 0, 10, 150, 20, white());
            draw_sprite(b, pointer_sprite, 570, 410);
        };
        EXPECT_EQ(text_mismatches(back_buffer, texts, frame_and_pointer), 0);
    }
    // The pointer is drawn into the frame once, whole, centred on the mouse, under the texts.
    BITMAP* block = create_bitmap(61, 61);
    clear_to_color(block, makecol(255, 0, 0));
    pointer_sprite = block;
    position_mouse(40, 60);
    time_left = 7;
    compose_frame();
    BITMAP* texts = create_bitmap(640, 480);
    clear_bitmap(texts);
    textprintf_ex(texts, item_font(TEXT_FONT), 0, 60, white(), -1, "Time Left: %d", time_left);
    int outside = 0, inside = 0, covered = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int c = getpixel(back_buffer, x, y);
            const bool in_box = x >= 10 && x <= 70 && y >= 30 && y <= 90;
            covered += getpixel(texts, x, y) && c != white();
            outside += !in_box && c == makecol(255, 0, 0);
            inside += in_box && (c == makecol(255, 0, 0) || c == white());
        }
    pointer_sprite = crosshair_image;
    destroy_bitmap(texts);
    destroy_bitmap(block);
    EXPECT_EQ(covered, 0) << "text pixels under the pointer";
    EXPECT_EQ(outside, 0) << "pointer pixels away from the mouse";
    EXPECT_EQ(inside, 61 * 61) << "pointer pixels missing";
}

struct SeeThroughCase {
    const char* name;
    int x, y;  // a point inside the text
};

using SeeThroughText = CaseTest<SeeThroughCase>;

// A ghost passing behind a HUD text shows between its letters: no text paints a black box.
TEST_P(SeeThroughText, ShowsWhatIsBehindIt) {
    const SeeThroughCase& c = GetParam();
    BITMAP* block = create_bitmap(61, 61);
    clear_to_color(block, makecol(255, 0, 0));
    pointer_sprite = block;
    flash_bombs = 1;
    position_mouse(c.x, c.y);
    compose_frame();
    int black = 0;
    for (int y = std::max(0, c.y - 30); y <= c.y + 30; ++y)
        for (int x = std::max(0, c.x - 30); x <= std::min(639, c.x + 30); ++x)
            black += getpixel(back_buffer, x, y) == 0;
    pointer_sprite = crosshair_image;
    destroy_bitmap(block);
    EXPECT_EQ(black, 0);
}

const SeeThroughCase see_through[] = {{"HeatMeasure", 40, 6},
                                      {"FlashBombs", 40, 44},
                                      {"TimeLeft", 40, 64},
                                      {"Score", 520, 4}};
INSTANTIATE_TEST_SUITE_P(Hud, SeeThroughText, testing::ValuesIn(see_through), case_name<SeeThroughCase>);

// The input thread's report of a key, as the keyboard driver gives it.
void key_event(int scancode, bool down) { keyboard_lowlevel_callback(down ? scancode : scancode | 0x80); }

// A tap that comes and goes between two looks at the keys, as on a busy machine, still switches;
// a key held down (its repeats) switches once.
TEST(DisplayToggle, ATapBetweenTwoPollsSwitchesOnce) {
    start_game();
    setenv("XDG_CONFIG_HOME", fs::current_path().c_str(), 1);
    const bool was_fullscreen = display_layout().fullscreen;
    key_event(KEY_F11, true);
    key_event(KEY_F11, true);
    key_event(KEY_F11, false);
    poll_display();
    const bool after_tap = display_layout().fullscreen;
    poll_display();
    const bool after_next_poll = display_layout().fullscreen;
    key_event(KEY_ALT, true);
    key[KEY_ALT] = 1;
    key_event(KEY_ENTER, true);
    key_event(KEY_ENTER, false);
    key[KEY_ALT] = 0;
    key_event(KEY_ALT, false);
    poll_display();
    EXPECT_NE(after_tap, was_fullscreen) << "F11 tapped between two polls";
    EXPECT_EQ(after_next_poll, after_tap) << "one press, one switch";
    EXPECT_EQ(display_layout().fullscreen, was_fullscreen) << "Alt+Enter tapped between two polls";
}

// The colour the screen shows at a game pixel, as 8-bit red, green and blue.
std::tuple<int, int, int> shown_at(int x, int y) {
    const int k = display_layout().scale, depth = bitmap_color_depth(screen);
    const int c = getpixel(screen, display_layout().x + x * k, display_layout().y + y * k);
    return {getr_depth(depth, c), getg_depth(depth, c), getb_depth(depth, c)};
}

// A mode set makes a new, blank screen: the next frame sends the whole picture, changed or not.
TEST(DisplayToggle, TheWholePictureReachesTheNewScreen) {
    start_game();
    putpixel(game_screen, 320, 240, makecol(255, 255, 255));
    present_screen();
    ASSERT_TRUE(open_display({display_layout().fullscreen, display_layout().scale}));
    putpixel(game_screen, 320, 240, makecol(255, 255, 255));
    present_screen();
    EXPECT_EQ(shown_at(320, 240), std::tuple(255, 255, 255));
}

// On a desktop without a window manager the keys follow the pointer: that is no loss of focus.
TEST(Focus, ThePointersFocusIsNoPause) {
    start_game();
    Display* x = XOpenDisplay(nullptr);
    XSetInputFocus(x, _xwin.wm_window, RevertToPointerRoot, CurrentTime);
    XSync(x, False);
    const bool while_ours = in_background();
    XSetInputFocus(x, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(x, False);
    EXPECT_FALSE(while_ours);
    EXPECT_FALSE(in_background());
    XCloseDisplay(x);
}

// The close button ends the game at the next wait, through the quit action start-up gave.
TEST(CloseButton, QuitsAtTheNextWait) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            set_quit_action([] { _exit(42); });
            close_button_pressed();
            quit_if_closed();
            _exit(0);
        },
        testing::ExitedWithCode(42), "");
}

struct CornerCase {
    const char* name;
    int x, y;
};

using ChangedPixel = CaseTest<CornerCase>;

// Only what changed is sent to the screen: a change alone in an edge row or column still is.
TEST_P(ChangedPixel, ReachesTheScreen) {
    const CornerCase& c = GetParam();
    clear_bitmap(game_screen);
    present_screen();
    putpixel(game_screen, c.x, c.y, makecol(255, 255, 255));
    present_screen();
    EXPECT_EQ(shown_at(c.x, c.y), std::tuple(255, 255, 255));
}

const CornerCase corners[] = {{"TopLeft", 0, 0}, {"TopRight", 639, 0}, {"BottomLeft", 0, 479}, {"BottomRight", 639, 479}};
INSTANTIATE_TEST_SUITE_P(Display, ChangedPixel, testing::ValuesIn(corners), case_name<CornerCase>);

struct EndCase {
    const char* name;
    bool escape;
    int ticks, time, tick;
};

using GameEnd = CaseTest<EndCase>;

// The end of the game is tested before every step: game over, high scores and the title menu
// follow at once, the pass's own step runs right after New Game, and what piled up is dropped.
TEST_P(GameEnd, ComesBeforeTheNextStep) {
    const EndCase& c = GetParam();
    ghosts.push_back(Ghost());
    if (midi_pos < 0)
        play_random_track();  // the first track's patches load slowly: a slow step would skew counts
    score = 77;
    time_left = c.time;
    tick_in_second = c.tick;
    key[KEY_ESC] = c.escape;
    // A on the end screens and the introduction, Enter in the menu, never both down.
    int screens = 0;
    WaitAnswerer player([&](int awaited, bool press) {
        if (awaited == KEY_A && press) {
            memset(const_cast<char*>(key), 0, KEY_MAX);
            key[KEY_A] = 1;
            screens++;
            logic_ticks += 30;  // half a second on each
        } else if (awaited == KEY_A) {
            key[KEY_A] = 0;
        } else if (awaited == 0 && screens == 2) {
            key[KEY_ENTER] = 1;
        }
    });
    logic_ticks = c.ticks;
    main_loop_pass();
    EXPECT_LE(logic_ticks, 1);
    EXPECT_EQ(screens, 3) << "game over, the table and the introduction";
    EXPECT_EQ(std::pair(level, score), std::pair(1, 0));
    EXPECT_EQ(time_left, 120);
    EXPECT_EQ(tick_in_second, c.escape ? c.tick + 1 : 1);
    EXPECT_EQ(read_file("High Scores.txt").size(), 540u) << "the score was entered";
}

const EndCase endings[] = {{"escape", true, 1, 50, 10}, {"time_runs_out_in_the_first_step", false, 3, 1, 59}};
INSTANTIATE_TEST_SUITE_P(Ways, GameEnd, testing::ValuesIn(endings), case_name<EndCase>);

// Runs a copy of the game in the working directory until it ends, for its exit status. The
// xmessage stand-in records what the message box says, then answers it as a player would.
int run_game(bool with_display) {
    fs::copy_file(GAME_BINARY, "ghosts-of-vorn");
    if (!fs::exists("allegro.cfg"))
        fs::copy_file(test_folder + "/allegro.cfg", "allegro.cfg");
    fs::create_directory("bin");
    write_file("bin/xmessage", "#!/bin/sh\nprintf '%s\\n' \"$@\" > message.txt\n/usr/bin/xmessage \"$@\" &\n"
                               "while kill -0 $! 2>/dev/null; do sleep 0.2; timeout 2 xdotool search --class Xmessage "
                               "windowfocus --sync %1 key Return 2>/dev/null; done\n");
    fs::permissions("bin/xmessage", fs::perms::owner_all);
    const int status = system((std::string(with_display ? "" : "unset DISPLAY; ") +
                               "PATH=\"$PWD/bin:$PATH\" timeout -s KILL 15 ./ghosts-of-vorn 2>stderr.txt").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct FailureCase {
    const char* name;
    std::function<void()> prepare;
    const char* says;
    bool display = true;
};

using StartupFailure = CaseTest<FailureCase>;

TEST_P(StartupFailure, EndsWithAMessageAndStatusOne) {
    const FailureCase& c = GetParam();
    c.prepare();
    EXPECT_EQ(run_game(c.display), 1) << read_file("stderr.txt");
    const std::string message = read_file(c.display ? "message.txt" : "stderr.txt");
    EXPECT_THAT(message, HasSubstr(c.says));
    if (message.find("data file") != std::string::npos) {
        EXPECT_THAT(message, HasSubstr("data.dat")) << "the path tried";
    }
    EXPECT_EQ(fs::exists("message.txt"), c.display);
}

std::string real_data() { return test_folder + "/data.dat"; }

// Items of the wrong kind: small pictures in a datafile made with `dat`.
void pictures(int count, std::string options) {
    BITMAP* dot = create_bitmap(2, 2);
    clear_to_color(dot, makecol(60, 60, 60));
    for (int i = 1000; i < 1000 + count; ++i)
        save_bitmap(("p" + std::to_string(i) + ".bmp").c_str(), dot, nullptr);
    destroy_bitmap(dot);
    ASSERT_EQ(system(("dat -n0 -c2 " + options + " data.dat -a -t BMP p*.bmp >/dev/null && rm p*.bmp").c_str()), 0);
}

const FailureCase causes[] = {
    {"no_data_dat", [] {}, "Unable to load the data file"},
    {"cut_short",
     [] {
         const std::string data = read_file(real_data());
         write_file("data.dat", data.substr(0, data.size() / 2));
     },
     "Unable to load"},
    {"overwritten_in_the_middle",
     [] {
         std::string data = read_file(real_data());
         write_file("data.dat", data.replace(data.size() / 3, 4096, 4096, 'x'));
     },
     ""},
    {"no_password", [] { pictures(108, ""); }, "Unable to load the data file"},
    {"a_picture_for_the_heading_font", [] { pictures(108, std::string("-007 ") + DATA_PASSWORD); },
     "no font at item 86"},
    {"too_few_items", [] { pictures(20, std::string("-007 ") + DATA_PASSWORD); }, "no picture at item 32"},
    {"no_display", [] { fs::create_symlink(real_data(), "data.dat"); }, "unable to start the game library", false},
    {"no_sound_device",
     [] {
         fs::create_symlink(real_data(), "data.dat");
         write_file("allegro.cfg", "[graphics]\ngfx_card = XWIN\n[sound]\ndigi_card = ALSA\nalsa_device = vorn_none\n");
     },
     "Error initialising sound system\n"}};
INSTANTIATE_TEST_SUITE_P(Causes, StartupFailure, testing::ValuesIn(causes), case_name<FailureCase>);
