// One play frame: field, ghosts, effects, heat bar, pointer and HUD.
#include "shell/frame.h"

#include "play/beam.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/data_items.h"
#include "shell/game_state.h"

void compose_frame() {
    FONT* font96 = item_font(TEXT_FONT);
    const int colour = white();

    // Composed without holding the screen: on X11 its lock also stalls the input thread.
    clear_bitmap(back_buffer);
    draw_ghosts();
    draw_vanish_effects();
    draw_heat_bar();
    // Frozen, so that the input thread does not move the pointer over the texts or restore its
    // old background over them while the frame is composed and copied.
    freeze_mouse_flag = TRUE;
    show_mouse(back_buffer);

    textprintf_ex(back_buffer, font96, 0, 3, colour, -1, "Heat Measure");
    if (flash_bombs > 0)
        textprintf_ex(back_buffer, font96, 0, 40, colour, -1, "Flash Bombs: %d", flash_bombs);
    textprintf_ex(back_buffer, font96, 0, 60, colour, -1, "Time Left: %d", time_left);
    const int score_x = SCREEN_W - text_length(font96, "Score: 000000000000000000");
    textprintf_ex(back_buffer, font96, score_x, 0, colour, -1, "Score: %d", score);
}

void remove_frame_pointer() {
    show_mouse(nullptr);
    freeze_mouse_flag = FALSE;
}

void draw_frame() {
    compose_frame();
    acquire_screen();
    blit(back_buffer, screen, 0, 0, 0, 0, 640, 480);
    release_screen();
    remove_frame_pointer();
}
