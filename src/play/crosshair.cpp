// The crosshair: its picture and its slow random wobble.
#include "play/crosshair.h"

#include "shell/game_state.h"
#include "shell/random.h"

int crosshair_angle = 0;
int crosshair_timer = 0;
int crosshair_turn_delay = 10;
BITMAP* pointer_sprite = nullptr;

void draw_crosshair_image() {
    const int white = makecol(255, 255, 255);
    const int red = makecol(255, 0, 0);
    const int pink = makecol(255, 0, 255);
    circlefill(crosshair_image, 30, 30, 25, white);
    circlefill(crosshair_image, 30, 30, 23, pink);
    circle(crosshair_image, 30, 30, 6, red);
    line(crosshair_image, 20, 0, 30, 23, white);
    line(crosshair_image, 30, 37, 20, 61, white);
}

void update_crosshair() {
    crosshair_timer += 1;
    if (crosshair_timer < crosshair_turn_delay)
        return;
    crosshair_timer = 0;

    // 0 and 256 look the same, so the angle keeps all 257 values.
    if (rand_from(0, 100) % 2 == 0) {
        crosshair_angle += 1;
        if (crosshair_angle > 256)
            crosshair_angle = 0;
    } else {
        crosshair_angle -= 1;
        if (crosshair_angle < 0)
            crosshair_angle = 256;
    }
    clear_to_color(crosshair_sprite, makecol(255, 0, 255));
    rotate_sprite(crosshair_sprite, crosshair_image, 0, 0, itofix(crosshair_angle));
    pointer_sprite = crosshair_sprite;
}
