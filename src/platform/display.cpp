// The 640x480 picture on the real display: scaled by a whole factor, only what changed.
#include "platform/display.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/desktop.h"
#include "platform/settings.h"

BITMAP* game_screen = nullptr;

namespace {

// What the display shows now, at the game's depth: each present sends only what differs from it.
BITMAP* shown = nullptr;
// The scaled picture at the screen's depth, where the system wants a copy blitted to the screen.
BITMAP* scaled = nullptr;
// Every 16-bit colour of the game in the 32-bit screen's own format.
std::vector<std::uint32_t> colour_table;
int screen_depth = 16;
DisplayLayout layout;
// The scale of the window mode for this run: asked for, or fitted to the desktop.
int window_scale = 1;
bool must_redraw_all = true;
bool fullscreen_chosen = false;
// F11 and Alt+Enter presses counted on the input thread, each to be acted on once: a tap
// shorter than the gap between two polls, as on a busy machine, still switches.
std::atomic<int> toggle_presses{0};
bool f11_held = false, enter_held = false;

// Counts a toggle press as its key goes down, once however long the key is held.
void note_toggle_key(int scancode) {
    const int code = scancode & 0x7f;
    if (code != KEY_F11 && code != KEY_ENTER)
        return;
    bool& held = code == KEY_F11 ? f11_held : enter_held;
    const bool down = !(scancode & 0x80);
    if (down && !held && (code == KEY_F11 || key[KEY_ALT] || key[KEY_ALTGR]))
        toggle_presses++;
    held = down;
}
END_OF_FUNCTION(note_toggle_key)

const char* describe(const DisplayLayout& l) {
    static char text[96];
    if (l.fullscreen)
        snprintf(text, sizeof text, "full screen at %dx%d", l.screen_w, l.screen_h);
    else
        snprintf(text, sizeof text, "a %dx window", l.scale);
    return text;
}

// The screen's depth: 32 bits on a 24 or 32-bit desktop, so that the library converts nothing.
int pick_screen_depth() {
    const int desktop = desktop_color_depth();
    return (desktop == 24 || desktop == 32) ? 32 : 16;
}

void make_colour_table() {
    colour_table.resize(65536);
    for (int c = 0; c < 65536; ++c)
        colour_table[c] = static_cast<std::uint32_t>(makecol32(getr16(c), getg16(c), getb16(c)));
}

// Switches the real screen to the layout; the game's bitmaps stay 16-bit whatever the screen is.
bool set_layout(const DisplayLayout& wanted, const DesktopArea& monitor) {
    prepare_window();
    set_color_depth(screen_depth);
    const bool opened = set_gfx_mode(GFX_AUTODETECT_WINDOWED, wanted.screen_w, wanted.screen_h, 0, 0) == 0;
    set_color_depth(16);
    if (!opened)
        return false;
    layout = wanted;
    if (layout.fullscreen)
        cover_monitor(monitor);
    else
        uncover_monitor();
    if (screen_depth == 32 && colour_table.empty())
        make_colour_table();
    if (scaled)
        destroy_bitmap(scaled);
    scaled = writes_screen_lines() ? nullptr : create_bitmap_ex(screen_depth, layout.screen_w, layout.screen_h);
    if (scaled)
        clear_bitmap(scaled);
    clear_bitmap(screen);
    must_redraw_all = true;
    return true;
}

// Tries each layout in turn, saying on stderr why one was passed over.
bool open_first(const std::vector<DisplayLayout>& layouts, const DesktopArea& monitor) {
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        if (set_layout(layouts[i], monitor))
            return true;
        if (i + 1 < layouts.size())
            fprintf(stderr, "The Ghosts of Vorn: could not open %s (%s); trying %s\n", describe(layouts[i]),
                    allegro_error, describe(layouts[i + 1]));
    }
    return false;
}

bool open_chosen(bool fullscreen) {
    const DesktopArea monitor = monitor_of_window();
    std::vector<DisplayLayout> layouts;
    if (fullscreen)
        layouts.push_back(fullscreen_layout(monitor));
    layouts.push_back(window_layout(window_scale));
    if (window_scale > 1)
        layouts.push_back(window_layout(1));
    return open_first(layouts, monitor);
}

// Scales rows top..bottom, columns left..right of the picture into the target's lines.
template <typename Pixel>
void scale_rect(BITMAP* target, int left, int top, int w, int h) {
    const int k = layout.scale;
    for (int row = top; row < top + h; ++row) {
        const auto* src = reinterpret_cast<const std::uint16_t*>(game_screen->line[row]) + left;
        const int out_y = layout.y + row * k;
        auto* out = reinterpret_cast<Pixel*>(target->line[out_y]) + layout.x + left * k;
        for (int i = 0; i < w; ++i) {
            const Pixel p = sizeof(Pixel) == 4 ? static_cast<Pixel>(colour_table[src[i]]) : static_cast<Pixel>(src[i]);
            for (int r = 0; r < k; ++r)
                *out++ = p;
        }
        const auto* first = target->line[out_y] + (layout.x + left * k) * sizeof(Pixel);
        for (int r = 1; r < k; ++r)
            memcpy(target->line[out_y + r] + (layout.x + left * k) * sizeof(Pixel), first, w * k * sizeof(Pixel));
    }
}

// Sends one rectangle of the picture, in game pixels, to the display.
void show_rect(int left, int top, int w, int h) {
    for (int row = top; row < top + h; ++row)
        memcpy(reinterpret_cast<std::uint16_t*>(shown->line[row]) + left,
               reinterpret_cast<std::uint16_t*>(game_screen->line[row]) + left, w * sizeof(std::uint16_t));
    BITMAP* target = scaled ? scaled : screen;
    if (screen_depth == 32)
        scale_rect<std::uint32_t>(target, left, top, w, h);
    else
        scale_rect<std::uint16_t>(target, left, top, w, h);
    const int k = layout.scale;
    const int x = layout.x + left * k, y = layout.y + top * k;
    if (scaled)
        blit(scaled, screen, x, y, x, y, w * k, h * k);
    update_display(x, y, w * k, h * k);
}

// The first and last pixel of a row that differ from what is shown, or false when none does.
bool changed_span(int row, int& first, int& last) {
    const auto* now = reinterpret_cast<const std::uint16_t*>(game_screen->line[row]);
    const auto* was = reinterpret_cast<const std::uint16_t*>(shown->line[row]);
    if (memcmp(now, was, PICTURE_W * sizeof(std::uint16_t)) == 0)
        return false;
    first = 0;
    while (now[first] == was[first])
        ++first;
    last = PICTURE_W - 1;
    while (now[last] == was[last])
        --last;
    return true;
}

}  // namespace

bool open_display(const DisplayChoice& choice) {
    screen_depth = pick_screen_depth();
    LOCK_VARIABLE(toggle_presses);
    LOCK_FUNCTION(note_toggle_key);
    keyboard_lowlevel_callback = note_toggle_key;
    const DesktopArea work = work_area_on(monitor_of_window());
    window_scale = choice.scale > 0 ? choice.scale : window_scale_for(work);
    fullscreen_chosen = choice.fullscreen;
    if (!open_chosen(choice.fullscreen))
        return false;
    set_color_depth(16);
    if (!game_screen)
        game_screen = create_bitmap(PICTURE_W, PICTURE_H);
    if (!shown)
        shown = create_bitmap(PICTURE_W, PICTURE_H);
    if (!game_screen || !shown)
        return false;
    clear_bitmap(game_screen);
    return true;
}

const DisplayLayout& display_layout() { return layout; }

void present_screen() {
    if (!shown || !screen)
        return;
    if (must_redraw_all) {
        must_redraw_all = false;
        show_rect(0, 0, PICTURE_W, PICTURE_H);
        return;
    }
    // Runs of changed rows, each sent as one rectangle; a few unchanged rows do not split a run.
    constexpr int gap_allowed = 8;
    int row = 0, first = 0, last = 0;
    while (row < PICTURE_H) {
        if (!changed_span(row++, first, last))
            continue;
        const int top = row - 1;
        int bottom = top, left = first, right = last;
        for (; row < PICTURE_H && row - bottom <= gap_allowed; ++row) {
            if (changed_span(row, first, last)) {
                bottom = row;
                left = std::min(left, first);
                right = std::max(right, last);
            }
        }
        show_rect(left, top, right - left + 1, bottom - top + 1);
        row = bottom + 1;
    }
}

void poll_display() {
    if (toggle_presses > 0) {
        toggle_presses--;
        const int gx = pointer_x(), gy = pointer_y();
        if (!open_chosen(!fullscreen_chosen)) {
            set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
            allegro_message("Unable to set a graphics mode\n%s\n", allegro_error);
            exit(1);
        }
        fullscreen_chosen = layout.fullscreen;
        save_fullscreen_choice(fullscreen_chosen);
        present_screen();
        const int k = layout.scale;
        position_mouse(layout.x + gx * k + k / 2, layout.y + gy * k + k / 2);
        // The Enter of Alt+Enter is not a menu choice, even when Alt is let go first.
        key[KEY_ENTER] = 0;
    }
}

int pointer_x() { return to_picture(mouse_x, layout.x, layout.scale, PICTURE_W); }
int pointer_y() { return to_picture(mouse_y, layout.y, layout.scale, PICTURE_H); }
