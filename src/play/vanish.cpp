// Vanish effects: advancing, removal and drawing.
#include "play/vanish.h"

#include "shell/game_state.h"

std::vector<VanishEffect> vanish_effects;

void VanishEffect::advance() {
    frame_timer += 1;
    if (frame_timer > frame_delay) {
        frame += 1;
        frame_timer = 0;
    }
}

void VanishEffect::draw() {
    if (frame >= 0 && frame < VANISH_FRAME_COUNT)
        draw_sprite(back_buffer, item_bitmap(VANISH_FRAME_FIRST + frame), x, y);
}

void update_vanish_effects() {
    std::size_t i = 0;
    while (i < vanish_effects.size()) {
        vanish_effects[i].advance();
        if (vanish_effects[i].frame >= VANISH_FRAME_COUNT)
            vanish_effects.erase(vanish_effects.begin() + i);
        else
            ++i;
    }
}

void draw_vanish_effects() {
    for (std::size_t i = 0; i < vanish_effects.size(); ++i)
        vanish_effects[i].draw();
}
