// The title menu: story, credit, and New Game / High Scores / Quit.
#include "frontend/title_menu.h"

#include "frontend/high_scores.h"
#include "levels/level_flow.h"
#include "platform/display.h"
#include "play/ghost.h"
#include "shell/game_state.h"
#include "shell/pacing.h"
#include "shell/test_hooks.h"

const char* const story_lines[8] = {
    "King Sakkar has commisioned you to find the elusive Red Gem of Vorn",
    "Little did you know that Vorn was a planet which contained little life.",
    "The only thing that moves on the planet are ghosts!",
    "Your sole equipment is a specialized flashlight called the X-Beam.",
    "Its specialized light is the only thing that can destroy these ghosts.",
    "Be weary, however, for the ghosts travel in packs; and each pack has only but a few.",
    "shards of the Red Gem, which you must find in its entirety.",
    "Did the King mention to tell you that the X-Beam can overheat?",
};

const int story_rows[8] = {100, 110, 120, 130, 140, 150, 160, 180};

namespace {

const char* const menu_labels[3] = {"New Game", "High Scores", "Quit"};

// Sets up a fresh game and introduces level 1.
void start_new_game() {
    score = 0;
    level = 0;
    flash_bombs = 0;
    levels_since_bomb = 0;
    start_time = 120;
    time_left = start_time;
    ghosts.clear();
    if (const int first = hooked_first_level(); first > 1) {
        level = first - 1;
        levels_since_bomb = level % 5;
    }
    start_next_level();
}

void draw_title_frame(int selected) {
    FONT* text_font = item_font(TEXT_FONT);
    clear_bitmap(back_buffer);
    textprintf_ex(back_buffer, item_font(HEADING_FONT), 20, 20, white(), -1, "The Ghosts of Vorn");
    for (int i = 0; i < 8; ++i)
        textprintf_ex(back_buffer, text_font, 40, story_rows[i], white(), -1, "%s", story_lines[i]);
    textprintf_ex(back_buffer, text_font, 0, 470, white(), -1, "Created by: Fernmoor");
    for (int i = 0; i < 3; ++i) {
        const int colour = (i == selected) ? makecol(255, 255, 0) : makecol(0, 64, 128);
        textout_centre_ex(back_buffer, text_font, menu_labels[i], PICTURE_W / 2, 300 + 10 * i, colour, -1);
    }
    blit(back_buffer, game_screen, 0, 0, 0, 0, PICTURE_W, PICTURE_H);
    present_screen();
}

}  // namespace

void run_title_menu() {
    int selected = MENU_NEW_GAME;
    // The highlight on the screen now, or -1 when something else was drawn over the menu.
    int shown = -1;
    bool done = false;
    while (!done) {
        sleep_until_tick();
        while (logic_ticks > 0) {
            quit_if_closed();
            if (key[KEY_UP]) {
                selected -= 1;
                if (selected < 0)
                    selected = 2;
                wait_for_key_release(KEY_UP);
            }
            if (key[KEY_DOWN]) {
                selected += 1;
                if (selected > 2)
                    selected = 0;
                wait_for_key_release(KEY_DOWN);
            }
            // Not debounced: every tick with Enter down acts again. Alt+Enter is the display's.
            if (key[KEY_ENTER] && !key[KEY_ALT] && !key[KEY_ALTGR]) {
                play_sample(item_sample(BEAM_SAMPLE), 255, 0, 1000, 0);
                shown = -1;
                if (selected == MENU_NEW_GAME) {
                    start_new_game();
                    done = true;
                } else if (selected == MENU_HIGH_SCORES) {
                    show_high_scores(0);
                } else {
                    quit_game();
                }
            }
            logic_ticks--;
        }
        quit_if_closed();
        // The same picture again would only cost the processor.
        if (selected != shown)
            draw_title_frame(selected);
        shown = selected;
    }
}
