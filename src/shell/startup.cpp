// Start-up and shut-down of the whole game.
#include "shell/startup.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/display.h"
#include "platform/system.h"
#include "play/crosshair.h"
#include "play/ghost.h"
#include "shell/datapath.h"
#include "shell/game_state.h"
#include "shell/pacing.h"

namespace {

// Leaves graphics mode, says what failed and ends the process.
[[noreturn]] void fail_start(const char* what, const char* path) {
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    if (path)
        allegro_message("%s\n%s\n%s\n", what, path, allegro_error);
    else
        allegro_message("%s\n%s\n", what, allegro_error);
    exit(1);
}

struct RequiredItems {
    int first;
    int count;
    int type;
    const char* kind;
};

const RequiredItems required_items[] = {
    {GHOST_PICTURE_FIRST, GHOST_PICTURE_COUNT, DAT_BITMAP, "picture"},
    {VANISH_FRAME_FIRST, VANISH_FRAME_COUNT, DAT_BITMAP, "picture"},
    {SHARD_PICTURE, 1, DAT_BITMAP, "picture"},
    {HEADING_FONT, 1, DAT_FONT, "font"},
    {TEXT_FONT, 1, DAT_FONT, "font"},
    {MUSIC_TRACK_FIRST, MUSIC_TRACK_COUNT, DAT_MIDI, "MIDI track"},
    {BEAM_SAMPLE, 1, DAT_SAMPLE, "sample"},
};

// Stops start-up when the datafile lacks an item the game reads.
void check_data_items(const char* path) {
    int count = 0;
    while (game_data[count].type != DAT_END)
        ++count;
    for (const RequiredItems& r : required_items) {
        for (int i = r.first; i < r.first + r.count; ++i) {
            if (i >= count || game_data[i].type != r.type || !game_data[i].dat) {
                char what[128];
                snprintf(what, sizeof what, "The data file has no %s at item %d", r.kind, i);
                fail_start(what, path);
            }
        }
    }
}

}  // namespace

DATAFILE* load_game_data(const char* path) {
    packfile_password(DATA_PASSWORD);
    DATAFILE* data = load_datafile(path);
    packfile_password(nullptr);
    return data;
}

void init_game(const DisplayChoice& choice) {
    // Without a display the library cannot start, and its next call would crash.
    if (allegro_init() != 0) {
        fprintf(stderr, "The Ghosts of Vorn: unable to start the game library\n%s\n", allegro_error);
        exit(1);
    }
    install_keyboard();
    install_timer();
    install_mouse();
    LOCK_VARIABLE(logic_ticks);
    LOCK_FUNCTION(timer_tick);
    install_int_ex(timer_tick, BPS_TO_TIMER(60));

    if (!open_display(choice))
        fail_start("Unable to set a 640x480 graphics mode", nullptr);
    set_window_title("The Ghosts of Vorn");
    set_quit_action(shutdown_game);
    LOCK_FUNCTION(close_button_pressed);
    set_close_button_callback(close_button_pressed);

    // 32, not 64: the software MIDI synth takes its voices from the same mixer.
    reserve_voices(32, -1);
    set_volume_per_voice(2);
    if (install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr) != 0) {
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
        allegro_message("Error initialising sound system\n%s\n", allegro_error);
        exit(1);
    }

    const std::string path = datafile_path("data.dat");
    game_data = datafile_loads(path.c_str()) ? load_game_data(path.c_str()) : nullptr;
    if (!game_data)
        fail_start("Unable to load the data file", path.c_str());
    check_data_items(path.c_str());

    back_buffer = create_bitmap(640, 480);
    beam_spot = create_bitmap(3, 3);
    crosshair_image = create_bitmap(61, 61);
    crosshair_sprite = create_bitmap(61, 61);
    if (!back_buffer || !beam_spot || !crosshair_image || !crosshair_sprite)
        fail_start("Out of memory for the game's bitmaps", nullptr);
    clear_bitmap(beam_spot);
    clear_to_color(crosshair_image, makecol(255, 0, 255));
    clear_to_color(crosshair_sprite, makecol(255, 0, 255));
    draw_crosshair_image();
    pointer_sprite = crosshair_image;

    srand(time(nullptr));
    ghosts.reserve(1000);
}

void shutdown_game() {
    pointer_sprite = nullptr;
    destroy_bitmap(back_buffer);
    destroy_bitmap(crosshair_sprite);
    destroy_bitmap(crosshair_image);
    ghosts.clear();
    if (beam_voice != NO_VOICE && voice_check(beam_voice))
        deallocate_voice(beam_voice);
    unload_datafile(game_data);
    exit(1);
}

bool datafile_trial(const char* path) { return load_game_data(path) != nullptr; }
