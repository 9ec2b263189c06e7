// The display's arithmetic, apart from any screen so that it can be checked for any desktop.
#include "platform/layout.h"

#include <algorithm>

int window_scale_for(const DesktopArea& work_area) {
    const int k = std::min(work_area.w / PICTURE_W, (work_area.h - TITLE_BAR_ALLOWANCE) / PICTURE_H);
    return std::max(1, k);
}

DisplayLayout window_layout(int scale) {
    DisplayLayout l;
    l.scale = scale;
    l.screen_w = PICTURE_W * scale;
    l.screen_h = PICTURE_H * scale;
    return l;
}

DisplayLayout fullscreen_layout(const DesktopArea& monitor) {
    DisplayLayout l;
    l.fullscreen = true;
    l.scale = std::max(1, std::min(monitor.w / PICTURE_W, monitor.h / PICTURE_H));
    l.screen_w = std::max(monitor.w, PICTURE_W);
    l.screen_h = std::max(monitor.h, PICTURE_H);
    l.x = (l.screen_w - PICTURE_W * l.scale) / 2;
    l.y = (l.screen_h - PICTURE_H * l.scale) / 2;
    return l;
}

int to_picture(int screen_pos, int offset, int scale, int size) {
    const int pos = screen_pos - offset;
    return pos < 0 ? 0 : std::min(pos / scale, size - 1);
}
