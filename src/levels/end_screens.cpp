// The still screens that close a stretch of play.
#include "levels/end_screens.h"

#include "frontend/high_scores.h"
#include "levels/still_screen.h"
#include "platform/display.h"
#include "shell/game_state.h"
#include "shell/random.h"

const char* const game_over_lines[11] = {
    "Looks like the rest of the ghosts still hold the Red Gem shards.",
    "Sorry, bub. Not fast enough!",
    "The ghosts got away with the Red Gem Shards!",
    "You have failed King Sakkar!",
    "It looks like the ghosts of Vorn still have most of the Red Gem!",
    "Maybe you need more practice.",
    "It was only a few ghosts. Try harder next time.",
    "King Sakkar is ashamed of you!",
    "Maybe you should get your eyes checked?",
    "The ghosts have eluded you, for now...",
    "Keep trying! Never lose hope!",
};

const char* const win_story_lines[6] = {
    "You have collected all of the Red Gem Shards and are",
    "now able to create the complete Red Gem!",
    "Not only that, but you have rid Vorn of all it's ghost",
    "inhabitants.",
    "You are truly a hero, and King Sakkar recognizes this.",
    "You shall be knigted, and known forever!!",
};

const int win_story_rows[6] = {110, 120, 130, 140, 160, 180};

void show_game_over() {
    draw_heading("Game Over!");
    const int line = rand_from(0, 11);
    textprintf_ex(game_screen, item_font(TEXT_FONT), 40, 200, white(), -1, "%s", game_over_lines[line]);
    hit_a_to_continue();
    show_high_scores(score);
}

void show_win_screen() {
    draw_heading("You win!");
    FONT* text_font = item_font(TEXT_FONT);
    textprintf_ex(game_screen, text_font, 40, 100, white(), -1, "Great job!");
    for (int i = 0; i < 6; ++i)
        textprintf_ex(game_screen, text_font, 40, win_story_rows[i], white(), -1, "%s", win_story_lines[i]);
    hit_a_to_continue();
    show_high_scores(score);
}
