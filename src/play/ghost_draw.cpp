// Translucent drawing of the ghosts into the play frame.
#include "play/ghost.h"
#include "shell/game_state.h"

void Ghost::draw() {
    if (visible == 0)
        return;
    // Each ghost has its own alpha, so the blender is set anew every time.
    set_trans_blender(255, 255, 255, alpha);
    draw_trans_sprite(back_buffer, sprite, x, y);
}

void draw_ghosts() {
    for (std::size_t i = 0; i < ghosts.size(); ++i)
        ghosts[i].draw();
}
