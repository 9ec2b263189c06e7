// Ghost construction, fade cycle, movement and the per-tick pass.
#include "play/ghost.h"

#include "levels/level_flow.h"
#include "platform/display.h"
#include "play/vanish.h"
#include "shell/game_state.h"
#include "shell/pacing.h"
#include "shell/random.h"
#include "shell/test_hooks.h"

std::vector<Ghost> ghosts;

int score_per_kill = 10;
int time_per_kill = 15;

// The order of the rand_from calls fixes which random number lands where.
Ghost::Ghost() {
    carries_shard = 0;
    health = rand_from(10, 40);
    fade_step = rand_from(1, 5);
    alpha = fading = fading_in = fading_out = 0;
    x = rand_from(0, 640);
    y = rand_from(0, 480);
    moving_left = rand_from(0, 2);
    moving_up = rand_from(0, 2);
    speed = rand_from(1, 5);
    hidden_ticks = rand_from(10, 80);
    shown_ticks = rand_from(10, 80);
    phase_timer = 0;
    visible = rand_from(0, 2) == 0 ? -1 : 0;
    sprite = item_bitmap(GHOST_PICTURE_FIRST + rand_from(0, GHOST_PICTURE_COUNT));
    // So that a test can take a level in a moment.
    if (hooked_ghost_place(x, y)) {
        speed = 0;
        health = 1;
        visible = -1;
        alpha = 255;
        shown_ticks = 1 << 30;
    }
}

void Ghost::update() {
    update_fade();
    check_beam();
    move();
}

void Ghost::update_fade() {
    if (fading == 0)
        phase_timer += 1;
    if (visible != 0 && fading == 0 && phase_timer >= shown_ticks) {
        fading = -1;
        fading_out = -1;
        fading_in = 0;
        alpha = 254;
        phase_timer = 0;
        visible = -1;
    }
    if (visible == 0 && fading == 0 && phase_timer >= hidden_ticks) {
        fading = -1;
        fading_in = -1;
        fading_out = 0;
        alpha = 0;
        phase_timer = 0;
        visible = -1;
    }
    if (fading_in != 0)
        fade_in_step();
    if (fading_out != 0)
        fade_out_step();
}

void Ghost::fade_in_step() {
    alpha += fade_step;
    if (alpha >= 255) {
        fading_in = 0;
        fading = 0;
        alpha = 255;
    }
}

void Ghost::fade_out_step() {
    alpha -= fade_step;
    if (alpha <= 0) {
        fading_out = 0;
        visible = 0;
        fading = 0;
        alpha = 0;
    }
}

// The edge test comes before the step, so a ghost goes one step past an edge before turning.
void Ghost::move() {
    if (x > 640)
        moving_left = !moving_left;
    if (x < 0)
        moving_left = !moving_left;
    if (y > 480)
        moving_up = !moving_up;
    if (y < 0)
        moving_up = !moving_up;
    x += moving_left ? -speed : speed;
    y += moving_up ? -speed : speed;
}

void destroy_ghost(std::size_t index) {
    BITMAP* first_frame = item_bitmap(VANISH_FRAME_FIRST);
    const Ghost& g = ghosts[index];
    vanish_effects.push_back(VanishEffect(g.x - first_frame->w / 2, g.y - first_frame->h / 2));
    ghosts.erase(ghosts.begin() + index);
    time_left += time_per_kill;
    score += score_per_kill;
}

namespace {

// The shard shaking on the screen for 151 ticks, then the next level.
void run_shard_sequence(int carrier_x, int carrier_y) {
    score += score_per_kill + 10 * level;
    BITMAP* shard = item_bitmap(SHARD_PICTURE);
    int dx = 0, dy = 0, count = 0;
    bool done = false;
    while (!done) {
        sleep_until_tick();
        while (logic_ticks > 0) {
            dx = rand_from(-20, 40);
            dy = rand_from(-20, 40);
            if (count >= 150)
                done = true;
            count += 1;
            logic_ticks--;
        }
        quit_if_closed();
        draw_sprite(game_screen, shard, carrier_x + dx, carrier_y + dy);
        present_screen();
    }
    start_next_level();
}

}  // namespace

// The count is read anew at every step: erasing revisits an index, and the
// shard sequence refills the whole list in the middle of the walk.
void update_ghosts() {
    std::size_t i = 0;
    while (i < ghosts.size()) {
        ghosts[i].update();
        if (ghosts[i].health > 0) {
            ++i;
        } else if (ghosts[i].carries_shard == -1) {
            run_shard_sequence(ghosts[i].x, ghosts[i].y);
            ++i;
        } else {
            destroy_ghost(i);
        }
    }
}
