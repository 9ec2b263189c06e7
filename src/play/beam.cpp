// The X-Beam: the per-ghost hit, heat, flash bombs and the heat bar.
#include "play/beam.h"

#include <algorithm>
#include <cstdint>

#include "platform/display.h"
#include "play/ghost.h"
#include "shell/game_state.h"

int beam_damage = 1;
int flash_latch = 0;

namespace {

bool left_button() { return mouse_b & 1; }
bool right_button() { return mouse_b & 2; }

// Frees the beam's voice; the number may be handed to another sound afterwards.
void release_beam_voice() {
    deallocate_voice(beam_voice);
    beam_voice = NO_VOICE;
}

// Only a voice the beam holds is ever asked about.
bool beam_sound_playing() {
    return beam_voice != NO_VOICE && voice_get_position(beam_voice) != -1;
}

}  // namespace

void Ghost::check_beam() {
    if (!left_button() && beam_voice != NO_VOICE && voice_check(beam_voice))
        release_beam_voice();

    const int hit = pixel_collide(beam_spot, pointer_x() - 1, pointer_y() - 1, sprite, x, y);
    if (hit && left_button() && visible == -1 && heat < max_heat && !beam_sound_playing()) {
        if (beam_voice != NO_VOICE && voice_check(beam_voice))
            release_beam_voice();
        const int voice = allocate_voice(item_sample(BEAM_SAMPLE));
        // No free voice: no zap, so no hit either; the zap's length bounds the rate of fire.
        if (voice == -1)
            return;
        beam_voice = voice;
        voice_set_volume(beam_voice, 255);
        voice_start(beam_voice);
        health -= beam_damage;
    }
}

int pixel_collide(BITMAP* a, int ax, int ay, BITMAP* b, int bx, int by) {
    const int mask_a = bitmap_mask_color(a), mask_b = bitmap_mask_color(b);
    const int a_right = ax + a->w - 1, a_bottom = ay + a->h - 1;
    const int b_right = bx + b->w - 1, b_bottom = by + b->h - 1;
    if (ax > b_right || a_right < bx || ay > b_bottom || a_bottom < by)
        return 0;
    const int left = std::max(ax, bx), right = std::min(a_right, b_right);
    const int top = std::max(ay, by), bottom = std::min(a_bottom, b_bottom);
    // The game's own pictures are 16-bit memory bitmaps: read their rows directly, as getpixel
    // per pixel costs more than the whole test should.
    if (is_memory_bitmap(a) && is_memory_bitmap(b) && bitmap_color_depth(a) == 16 && bitmap_color_depth(b) == 16) {
        const int width = right - left + 1;
        for (int row = top; row <= bottom; ++row) {
            const auto* pa = reinterpret_cast<const std::uint16_t*>(a->line[row - ay]) + (left - ax);
            const auto* pb = reinterpret_cast<const std::uint16_t*>(b->line[row - by]) + (left - bx);
            for (int i = 0; i < width; ++i)
                if (pa[i] != mask_a && pb[i] != mask_b)
                    return -1;
        }
        return 0;
    }
    for (int row = top; row <= bottom; ++row)
        for (int col = left; col <= right; ++col)
            if (getpixel(a, col - ax, row - ay) != mask_a && getpixel(b, col - bx, row - by) != mask_b)
                return -1;
    return 0;
}

void update_beam() {
    if (left_button()) {
        heat += 1;
        if (heat > max_heat)
            heat = max_heat;
    } else {
        heat -= 1;
        if (heat < 0)
            heat = 0;
    }

    if (right_button() && flash_latch == 0) {
        flash_latch = -1;
        if (flash_bombs > 0) {
            flash_bombs -= 1;
            std::size_t i = 0;
            while (i < ghosts.size()) {
                if (ghosts[i].visible == -1 && ghosts[i].carries_shard != -1)
                    destroy_ghost(i);
                else
                    ++i;
            }
        }
    } else if (!right_button()) {
        flash_latch = 0;
    }
}

void draw_heat_bar() {
    rect(back_buffer, 0, 10, 150, 20, white());
    if (heat > 0)
        rectfill(back_buffer, 1, 11, 149 * heat / max_heat, 19, makecol(255 * heat / max_heat, 0, 0));
    if (heat >= max_heat)
        textprintf_ex(back_buffer, item_font(TEXT_FONT), 155, 3, makecol(255, 0, 0), -1, "OVERHEAT!");
}
