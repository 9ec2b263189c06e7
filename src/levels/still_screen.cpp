// The parts every still screen is drawn and answered with.
#include "levels/still_screen.h"

#include "platform/display.h"
#include "shell/game_state.h"
#include "shell/pacing.h"

void draw_heading(const char* heading) {
    clear_bitmap(game_screen);
    textprintf_ex(game_screen, item_font(HEADING_FONT), 20, 20, white(), -1, "%s", heading);
}

void hit_a_to_continue() {
    textprintf_ex(game_screen, item_font(TEXT_FONT), 245, 350, white(), -1, "Hit A to continue");
    present_screen();
    wait_for_key_press(KEY_A);
    wait_for_key_release(KEY_A);
}
