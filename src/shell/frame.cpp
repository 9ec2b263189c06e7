// One play frame: field, ghosts, effects, heat bar, pointer and HUD.
#include "shell/frame.h"

#include "platform/display.h"
#include "play/beam.h"
#include "play/crosshair.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/game_state.h"

void compose_frame() {
    FONT* font96 = item_font(TEXT_FONT);
    const int colour = white();

    clear_bitmap(back_buffer);
    draw_ghosts();
    draw_vanish_effects();
    draw_heat_bar();
    // Drawn here, once and whole, rather than by the library's input thread at any moment.
    draw_sprite(back_buffer, pointer_sprite, pointer_x() - CROSSHAIR_FOCUS, pointer_y() - CROSSHAIR_FOCUS);

    textprintf_ex(back_buffer, font96, 0, 3, colour, -1, "Heat Measure");
    if (flash_bombs > 0)
        textprintf_ex(back_buffer, font96, 0, 40, colour, -1, "Flash Bombs: %d", flash_bombs);
    textprintf_ex(back_buffer, font96, 0, 60, colour, -1, "Time Left: %d", time_left);
    const int score_x = PICTURE_W - text_length(font96, "Score: 000000000000000000");
    textprintf_ex(back_buffer, font96, score_x, 0, colour, -1, "Score: %d", score);
}

void draw_frame() {
    compose_frame();
    blit(back_buffer, game_screen, 0, 0, 0, 0, PICTURE_W, PICTURE_H);
    present_screen();
}
