// Level flow: the next level's ghosts, its introduction and flash-bomb awards.
#include "levels/level_flow.h"

#include <cstdio>

#include "levels/end_screens.h"
#include "levels/still_screen.h"
#include "platform/display.h"
#include "play/ghost.h"
#include "shell/game_state.h"
#include "shell/random.h"

const char* const encouragement_lines[10] = {
    "Get ready for some ghost hunting!",
    "Are you ready to get some Red Gem shards?",
    "It's all up to you!",
    "You are the King's only hope!",
    "The King is counting on you!",
    "Watch out, those ghosts are fast!",
    "The ghosts of Vorn never rest!",
    "Can you find the Red Gem shards in time?",
    "You must be brave. Good luck!",
    "Don't let the ghosts of Vorn frighten you!",
};

const char* const flash_bomb_message =
    "You have aqcuired a flash bomb! Hit the right mouse button to instantly kill all visible ghosts!";

void start_next_level() {
    level += 1;
    levels_since_bomb += 1;

    // Emptied at once, keeping its storage; a walk of update_ghosts under way goes on by index.
    ghosts.clear();
    for (int i = 0; i < level; ++i)
        ghosts.push_back(Ghost());

    const int carrier = rand_from(1, static_cast<int>(ghosts.size()));
    for (std::size_t i = 0; i < ghosts.size(); ++i)
        ghosts[i].carries_shard = (static_cast<int>(i) + 1 == carrier) ? -1 : 0;

    FONT* text_font = item_font(TEXT_FONT);
    char heading[24];
    snprintf(heading, sizeof heading, "Level %d", level);
    draw_heading(heading);

    if (levels_since_bomb >= 5) {
        textprintf_ex(game_screen, text_font, 20, 100, white(), -1, "%s", flash_bomb_message);
        textprintf_ex(game_screen, text_font, 20, 115, white(), -1, "%d bonus points!!", 100 * level);
        flash_bombs += 1;
        score += 100 * level;
        levels_since_bomb = 0;
    }

    const int line = rand_from(1, 10);
    textprintf_ex(game_screen, text_font, 40, 200, white(), -1, "%s", encouragement_lines[line - 1]);

    hit_a_to_continue();

    if (level >= 20)
        show_win_screen();
}
