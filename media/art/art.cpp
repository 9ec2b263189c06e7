// Ghosts, vanish frames, the gem shard and filler pictures, painted per pixel.
#include "media.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace media {
namespace {

constexpr float PI = 3.14159265f;

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }

float smoothstep(float e0, float e1, float x)
{
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

const Rgb WHITE{255, 255, 255};

// A picture being painted: colours plus which pixels belong to the shape. Shapes are described
// in units of the 48-pixel ghost; k pixels make one unit, so a ghost can be drawn at any size.
struct Canvas {
    int w, h;
    std::vector<Rgb> px;
    std::vector<uint8_t> solid;
    float k = 1;

    Canvas(int w_, int h_, float k_ = 1) : w(w_), h(h_), px(w_ * h_, Rgb{0, 0, 0}), solid(w_ * h_, 0), k(k_) {}
    // The centre of pixel p in units.
    float u(int p) const { return (p + 0.5f) / k; }
    bool in(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    bool is_solid(int x, int y) const { return in(x, y) && solid[y * w + x]; }
    Rgb &at(int x, int y) { return px[y * w + x]; }

    void plot(int x, int y, Rgb c)
    {
        if (!in(x, y)) return;
        px[y * w + x] = c;
        solid[y * w + x] = 1;
    }
    // Paints only over the shape, so features never change its outline.
    void paint(int x, int y, Rgb c, float a = 1)
    {
        if (is_solid(x, y)) at(x, y) = mix(at(x, y), c, a);
    }
    // A round spot filling the unit square at (ux, uy): one pixel at the game's size.
    void dab(float ux, float uy, Rgb c)
    {
        const float cx = (std::floor(ux) + 0.5f) * k, cy = (std::floor(uy) + 0.5f) * k, r = 0.55f * k;
        for (int y = (int)(cy - r); y <= (int)(cy + r); y++)
            for (int x = (int)(cx - r); x <= (int)(cx + r); x++)
                if (std::hypot(x + 0.5f - cx, y + 0.5f - cy) <= r) paint(x, y, c);
    }
    // Lays light over whatever is there: brighter wins, so overlapping sparks add up.
    void glow(int x, int y, Rgb c)
    {
        if (!in(x, y)) return;
        if (!is_solid(x, y)) {
            plot(x, y, c);
            return;
        }
        Rgb &o = at(x, y);
        o = {std::max(o.r, c.r), std::max(o.g, c.g), std::max(o.b, c.b)};
    }
};

// Chamfer distance of each shape pixel to the nearest pixel outside the shape.
std::vector<float> depth_of(const Canvas &c)
{
    const float BIG = 1e6f;
    std::vector<float> d(c.w * c.h);
    for (int i = 0; i < c.w * c.h; i++) d[i] = c.solid[i] ? BIG : 0;
    auto get = [&](int x, int y) { return c.in(x, y) ? d[y * c.w + x] : 0.0f; };
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float &v = d[y * c.w + x];
            if (v == 0) continue;
            v = std::min({v, get(x - 1, y) + 1, get(x, y - 1) + 1, get(x - 1, y - 1) + 1.414f,
                          get(x + 1, y - 1) + 1.414f});
        }
    for (int y = c.h - 1; y >= 0; y--)
        for (int x = c.w - 1; x >= 0; x--) {
            float &v = d[y * c.w + x];
            if (v == 0) continue;
            v = std::min({v, get(x + 1, y) + 1, get(x, y + 1) + 1, get(x + 1, y + 1) + 1.414f,
                          get(x - 1, y + 1) + 1.414f});
        }
    return d;
}

BITMAP *to_bitmap(const Canvas &c)
{
    BITMAP *bmp = create_bitmap_ex(16, c.w, c.h);
    int mask = bitmap_mask_color(bmp);
    clear_to_color(bmp, mask);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            if (!c.solid[y * c.w + x]) continue;
            Rgb p = c.px[y * c.w + x];
            auto ch = [](float v) { return (int)std::lround(std::clamp(v, 0.0f, 255.0f)); };
            int col = makecol16(ch(p.r), ch(p.g), ch(p.b));
            if (col == mask) col ^= 0x0020;  // a shape pixel must never read as transparent
            putpixel(bmp, x, y, col);
        }
    return bmp;
}

// ---- shape helpers (pixel centres at +0.5) ----

bool in_ellipse(float x, float y, float cx, float cy, float rx, float ry)
{
    float dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1;
}

bool in_circle(float x, float y, float cx, float cy, float r) { return in_ellipse(x, y, cx, cy, r, r); }

float seg_dist(float x, float y, float ax, float ay, float bx, float by)
{
    float vx = bx - ax, vy = by - ay;
    float t = std::clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy), 0.0f, 1.0f);
    float dx = x - (ax + t * vx), dy = y - (ay + t * vy);
    return std::sqrt(dx * dx + dy * dy);
}

// Rounded lobes hanging below a skirt from left to right, like a sheet's hem.
float scalloped_hem(float x, float left, float right, int lobes, float base, float depth)
{
    float t = (x - left) / (right - left) * lobes;
    return base + depth * std::sqrt(std::max(0.0f, std::sin(PI * (t - std::floor(t)))));
}

// Ragged, pointed hem for the wraith.
float jagged_hem(float x, float left, float right, int points, float base, float depth)
{
    float t = (x - left) / (right - left) * points;
    float f = t - std::floor(t);
    return base + depth * (1 - std::fabs(2 * f - 1));
}

bool in_triangle(float x, float y, float ax, float ay, float bx, float by, float cx, float cy)
{
    auto side = [&](float px, float py, float qx, float qy) { return (qx - px) * (y - py) - (qy - py) * (x - px); };
    float d1 = side(ax, ay, bx, by), d2 = side(bx, by, cx, cy), d3 = side(cx, cy, ax, ay);
    return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

struct Eye {
    float cx, cy;
};

void fill_ellipse(Canvas &c, float cx, float cy, float rx, float ry, Rgb col, float a = 1)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            if (in_ellipse(c.u(x), c.u(y), cx, cy, rx, ry)) c.paint(x, y, col, a);
}

// Pixels on an arc of a circle, above (up) or below the centre.
void arc(Canvas &c, float cx, float cy, float r, float thick, bool upper, Rgb col)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float fx = c.u(x), fy = c.u(y);
            float d = std::hypot(fx - cx, fy - cy);
            if (std::fabs(d - r) <= thick && (upper ? fy <= cy : fy >= cy)) c.paint(x, y, col);
        }
}

const Rgb EYE_DARK{22, 16, 38};

// ---- ghosts ----

struct GhostDesign {
    Rgb body;
    std::function<bool(float, float)> inside;
    std::function<void(Canvas &)> face;
};

// Pillow shading: a dark rim, a lighter core, a soft sheen at the top left.
Canvas paint_ghost(const GhostDesign &g, int size = GHOST_SIZE)
{
    Canvas c(size, size, size / float(GHOST_SIZE));
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            if (g.inside(c.u(x), c.u(y))) c.plot(x, y, g.body);
    std::vector<float> d = depth_of(c);
    Rgb rim = scale(g.body, 0.42f);
    Rgb edge = scale(g.body, 0.72f);
    Rgb core = mix(g.body, WHITE, 0.28f);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            if (!c.is_solid(x, y)) continue;
            float dd = d[y * c.w + x] / c.k;
            Rgb col = mix(edge, core, smoothstep(1.0f, 7.0f, dd));
            col = scale(col, 1.0f - 0.22f * smoothstep(26, 46, c.u(y)));
            float sheen = 1 - std::hypot(c.u(x) - 16, c.u(y) - 10) / 7.0f;
            if (sheen > 0) col = mix(col, WHITE, 0.55f * sheen);
            if (dd < 1.2f) col = rim;
            c.at(x, y) = col;
        }
    g.face(c);
    return c;
}

void oval_eyes(Canvas &c, Eye l, Eye r, float rx, float ry)
{
    for (Eye e : {l, r}) {
        fill_ellipse(c, e.cx, e.cy, rx, ry, EYE_DARK);
        c.dab(e.cx - rx * 0.4f, e.cy - ry * 0.5f, WHITE);
    }
}

GhostDesign sheet_ghost()
{
    return {{222, 232, 255},
            [](float x, float y) {
                if (in_circle(x, y, 24, 19, 16)) return true;
                float hw = 16 + (y - 19) * 0.1f;
                return y >= 19 && std::fabs(x - 24) <= hw && y <= scalloped_hem(x, 24 - hw, 24 + hw, 3, 39, 6.5f);
            },
            [](Canvas &c) {
                oval_eyes(c, {18.5f, 18}, {29.5f, 18}, 2.6f, 4.2f);
                fill_ellipse(c, 24, 28.5f, 2.4f, 2.8f, EYE_DARK);
            }};
}

GhostDesign goblin_ghost()
{
    return {{105, 225, 110},
            [](float x, float y) {
                if (in_circle(x, y, 24, 18, 15)) return true;
                if (y >= 18 && x >= 9 && x <= 39 && y <= scalloped_hem(x, 9, 39, 4, 38, 6.5f)) return true;
                // raised arms
                if (seg_dist(x, y, 11, 30, 5, 19) <= 3.2f || in_circle(x, y, 4.8f, 17.5f, 3.6f)) return true;
                return seg_dist(x, y, 37, 30, 43, 19) <= 3.2f || in_circle(x, y, 43.2f, 17.5f, 3.6f);
            },
            [](Canvas &c) {
                // angry eyes: ovals cut by brows slanting down to the middle
                for (int y = 0; y < c.h; y++)
                    for (int x = 0; x < c.w; x++) {
                        float fx = c.u(x), fy = c.u(y);
                        bool l = in_ellipse(fx, fy, 18, 17.5f, 3.8f, 3.4f) && fy > 14.5f + (fx - 14) * 0.55f;
                        bool r = in_ellipse(fx, fy, 30, 17.5f, 3.8f, 3.4f) && fy > 14.5f + (34 - fx) * 0.55f;
                        if (l || r) c.paint(x, y, EYE_DARK);
                    }
                fill_ellipse(c, 19.2f, 18.6f, 1.3f, 1.3f, {255, 70, 40});
                fill_ellipse(c, 28.8f, 18.6f, 1.3f, 1.3f, {255, 70, 40});
                // grin with teeth
                for (int y = 0; y < c.h; y++)
                    for (int x = 0; x < c.w; x++) {
                        float fx = c.u(x), fy = c.u(y);
                        if (!in_ellipse(fx, fy, 24, 27, 7.5f, 3.6f) || fy < 25.5f) continue;
                        float tooth = 1 - std::fabs(std::fmod(fx - 16.5f, 3.0f) - 1.5f) / 1.5f;
                        bool top = fy < 26.5f + 1.6f * tooth;
                        c.paint(x, y, top ? Rgb{240, 250, 230} : EYE_DARK);
                    }
            }};
}

GhostDesign hooded_ghost()
{
    return {{172, 122, 255},
            [](float x, float y) {
                if (in_circle(x, y, 23, 21, 13.5f)) return true;
                // pointed hood
                if (y >= 2 && y <= 21) {
                    float hw = (y - 2) / 19.0f * 13.5f;
                    if (std::fabs(x - 23 + (21 - y) * 0.12f) <= hw) return true;
                }
                // body sweeping into a tail curling right
                if (y >= 21 && y <= 45) {
                    float t = (y - 21) / 24;
                    float cx = 23 + t * t * 14;
                    float hw = 13.5f * (1 - t * 0.78f) + 1.3f * std::sin(y * 0.7f);
                    if (std::fabs(x - cx) <= hw) return true;
                }
                return in_circle(x, y, 39.5f, 42.5f, 3);
            },
            [](Canvas &c) {
                fill_ellipse(c, 23, 22, 9, 7.2f, {38, 12, 62});
                for (float cx : {19.0f, 27.0f}) {
                    fill_ellipse(c, cx, 22, 2.6f, 1.5f, {255, 236, 120});
                    c.dab(cx, 21, WHITE);
                }
            }};
}

// A pumpkin spirit: carved face glowing from inside, a curled stalk on top.
GhostDesign lantern_ghost()
{
    return {{255, 150, 45},
            [](float x, float y) {
                if (in_ellipse(x, y, 24, 23, 19, 16.5f)) return true;
                if (in_circle(x, y, 24.5f, 7.5f, 3) || seg_dist(x, y, 25, 6, 29.5f, 2.5f) <= 1.4f) return true;
                return y >= 23 && x >= 5.5f && x <= 42.5f && y <= scalloped_hem(x, 5.5f, 42.5f, 5, 39, 5.5f);
            },
            [](Canvas &c) {
                const Rgb glow{255, 228, 90}, carved{90, 30, 10};
                for (int y = 0; y < c.h; y++)
                    for (int x = 0; x < c.w; x++) {
                        float fx = c.u(x), fy = c.u(y);
                        bool eye = in_triangle(fx, fy, 11.5f, 23, 21.5f, 23, 17, 14.5f) ||
                                   in_triangle(fx, fy, 26.5f, 23, 36.5f, 23, 31, 14.5f);
                        float tooth = std::fabs(std::fmod(fx - 13, 4.0f) - 2) / 2;  // 0 at a tooth's tip
                        bool mouth = fx > 13 && fx < 35 && fy > 27 + 2.2f * (1 - tooth) &&
                                     fy < 34.5f - 2.2f * tooth - 0.06f * (fx - 24) * (fx - 24);
                        if (eye || mouth) c.paint(x, y, mix(glow, {255, 255, 200}, eye ? 0.0f : 0.3f));
                    }
                // a dark carved edge around the glowing openings
                std::vector<Rgb> before = c.px;
                const int s = std::max(1, (int)std::lround(c.k));
                for (int y = s; y + s < c.h; y++)
                    for (int x = s; x + s < c.w; x++) {
                        auto lit = [&](int xx, int yy) { return before[yy * c.w + xx].g > 200 && before[yy * c.w + xx].b < 220; };
                        if (!lit(x, y) && c.is_solid(x, y) && (lit(x + s, y) || lit(x - s, y) || lit(x, y + s) || lit(x, y - s)))
                            c.paint(x, y, carved);
                    }
                // green stalk: whatever of the shape rises above the pumpkin's top
                for (int y = 0; y < c.h; y++)
                    for (int x = 0; x < c.w; x++)
                        if (!in_ellipse(c.u(x), c.u(y), 24, 23, 19, 16.5f) && c.u(y) < 12.5f)
                            c.paint(x, y, mix(Rgb{60, 90, 25}, Rgb{135, 185, 70}, (c.u(x) - 22) / 8));
            }};
}

GhostDesign wraith_ghost()
{
    return {{228, 52, 68},
            [](float x, float y) {
                if (in_circle(x, y, 24, 17, 14)) return true;
                float hw = 14 + (y - 17) * 0.28f;
                return y >= 17 && std::fabs(x - 24) <= hw && y <= jagged_hem(x, 24 - hw, 24 + hw, 5, 37, 8.5f);
            },
            [](Canvas &c) {
                fill_ellipse(c, 24, 18.5f, 9.5f, 8.5f, {34, 4, 14});
                for (float cx : {20.0f, 28.0f}) {
                    fill_ellipse(c, cx, 18, 1.9f, 1.9f, {255, 225, 120});
                    c.dab(cx, 17, WHITE);
                }
                fill_ellipse(c, 24, 23.5f, 2.2f, 1.2f, {90, 10, 30});
            }};
}

GhostDesign twin_tail_ghost()
{
    return {{84, 222, 236},
            [](float x, float y) {
                if (in_circle(x, y, 24, 18, 16)) return true;
                if (y >= 18 && y <= 33 && x >= 8 && x <= 40) return true;
                // two tails curling outwards
                for (int side : {-1, 1}) {
                    for (int i = 0; i <= 12; i++) {
                        float t = i / 12.0f;
                        float cx = 24 + side * (7 + 11 * t * t);
                        float cy = 31 + 14 * t;
                        if (in_circle(x, y, cx, cy, 7.5f - 5.5f * t)) return true;
                    }
                }
                return false;
            },
            [](Canvas &c) {
                arc(c, 18.5f, 20, 3, 0.8f, true, EYE_DARK);
                arc(c, 29.5f, 20, 3, 0.8f, true, EYE_DARK);
                fill_ellipse(c, 13.5f, 24, 2.6f, 1.6f, {250, 140, 165}, 0.8f);
                fill_ellipse(c, 34.5f, 24, 2.6f, 1.6f, {250, 140, 165}, 0.8f);
                arc(c, 24, 23.5f, 3.6f, 0.75f, false, EYE_DARK);
            }};
}

// Small deterministic generator, so every build makes the same pictures.
struct Lcg {
    uint32_t s;
    float next()
    {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 16777216.0f;
    }
};

void sparkle(Canvas &c, float x, float y, int arm, Rgb col)
{
    int ix = (int)x, iy = (int)y;
    c.glow(ix, iy, mix(col, WHITE, 0.6f));
    for (int k = 1; k <= arm; k++) {
        Rgb a = scale(col, 1 - 0.5f * k / (arm + 1));
        c.glow(ix + k, iy, a);
        c.glow(ix - k, iy, a);
        c.glow(ix, iy + k, a);
        c.glow(ix, iy - k, a);
    }
}

void dot(Canvas &c, float x, float y, float r, Rgb col)
{
    for (int yy = (int)(y - r - 1); yy <= (int)(y + r + 1); yy++)
        for (int xx = (int)(x - r - 1); xx <= (int)(x + r + 1); xx++) {
            float d = std::hypot(xx + 0.5f - x, yy + 0.5f - y);
            if (d <= r) c.glow(xx, yy, scale(col, 1 - 0.35f * d / std::max(r, 0.5f)));
        }
}

}  // namespace

static const std::function<GhostDesign()> ghost_designs[GHOST_PICTURE_COUNT] = {
    sheet_ghost, goblin_ghost, hooded_ghost, lantern_ghost, wraith_ghost, twin_tail_ghost};

BITMAP *make_ghost(int which) { return to_bitmap(paint_ghost(ghost_designs[which]())); }

// Painted at four times the size and averaged down, so the outline is smooth against any desktop.
std::vector<uint8_t> make_ghost_icon(int which, int size)
{
    const int S = 4;
    Canvas c = paint_ghost(ghost_designs[which](), size * S);
    std::vector<uint8_t> rgba(size * size * 4, 0);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float r = 0, g = 0, b = 0;
            int n = 0;
            for (int sy = y * S; sy < (y + 1) * S; sy++)
                for (int sx = x * S; sx < (x + 1) * S; sx++)
                    if (c.is_solid(sx, sy)) {
                        const Rgb &p = c.px[sy * c.w + sx];
                        r += p.r, g += p.g, b += p.b, n++;
                    }
            if (!n) continue;
            uint8_t *o = &rgba[(y * size + x) * 4];
            auto ch = [n](float v) { return (uint8_t)std::lround(std::clamp(v / n, 0.0f, 255.0f)); };
            o[0] = ch(r), o[1] = ch(g), o[2] = ch(b), o[3] = (uint8_t)(255 * n / (S * S));
        }
    return rgba;
}

// The burst sits where the game puts the ghost's centre inside the frame.
BITMAP *make_vanish_frame(int frame)
{
    Canvas c(VANISH_SIZE, VANISH_SIZE);
    const float cx = VANISH_SIZE / 2 + GHOST_SIZE / 2, cy = cx;
    const float reach = VANISH_SIZE - cx - 2;  // nothing may be cut off by the frame's edge
    const Rgb hues[VANISH_FRAME_COUNT] = {
        {215, 248, 255}, {170, 232, 255}, {135, 195, 255}, {112, 140, 235}, {92, 90, 190}};
    const float p = (frame + 1) / float(VANISH_FRAME_COUNT);
    Rgb hue = hues[frame];

    if (frame == 0) {
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
                if (d <= 11) c.glow(x, y, mix(WHITE, {150, 225, 255}, d / 11));
                else if (std::fabs(d - 16) <= 1.2f) c.glow(x, y, {185, 240, 255});
            }
        for (int k = 0; k < 8; k++) {
            float a = k * PI / 4 + PI / 8;
            for (float r = 12; r <= 23; r += 0.5f)
                c.glow((int)(cx + r * std::cos(a)), (int)(cy + r * std::sin(a)), scale({200, 245, 255}, 1.2f - r / 26));
        }
    } else if (frame <= 2) {
        // the shock ring breaks up as it spreads
        float rr = 16 + frame * 7;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
                float d = std::hypot(dx, dy);
                float gap = std::sin(std::atan2(dy, dx) * (5 + frame * 3));
                if (std::fabs(d - rr) <= 1.1f - 0.3f * frame && gap > -0.2f * frame) c.glow(x, y, scale(hue, 0.9f));
            }
        if (frame == 1) sparkle(c, cx, cy, 4, {225, 250, 255});
    }
    if (frame >= 1) {
        // lumps of ghostly mist drifting out, thinned by an ordered dither as they fade
        static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        float ring = 9 + 6.5f * frame, density = 0.75f - 0.15f * frame;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
                float d = std::hypot(dx, dy), a = std::atan2(dy, dx);
                float lump = 0.5f + 0.5f * std::sin(a * 5 + frame * 1.3f) * std::cos(a * 3 - frame);
                float amount = density * lump * (1 - std::fabs(d - ring) / (3.5f + frame));
                if (amount > (bayer[y % 4][x % 4] + 0.5f) / 16)
                    c.glow(x, y, scale(mix({235, 240, 255}, hue, 0.4f), 0.55f + 0.35f * amount));
            }
    }

    // wisps spiralling outward, trails dimming behind their heads
    Lcg rng{7u};
    for (int w = 0; w < 7; w++) {
        float base = w * 2 * PI / 7 + rng.next() * 0.5f;
        float speed = 0.8f + 0.2f * ((w * 3) % 7) / 7;
        float head = std::min(reach, 8 + (reach - 8) * speed * p);
        float tail = std::max(4.0f, head - 10 - 6 * p);
        if (frame == VANISH_FRAME_COUNT - 1) tail = head - 6;
        for (float r = tail; r <= head; r += 0.35f) {
            float a = base + r * 0.045f;
            float k = (r - tail) / (head - tail);
            c.glow((int)(cx + r * std::cos(a)), (int)(cy + r * std::sin(a)), scale(hue, 0.35f + 0.65f * k));
        }
    }
    // sparkles thrown outward, spread evenly round the circle so the burst stays centred;
    // later frames keep fewer and smaller ones
    const int SPARKS = 28;
    for (int i = 0; i < SPARKS; i++) {
        float a = (i + 0.6f * rng.next()) * 2 * PI / SPARKS;
        float speed = 0.45f + 0.55f * rng.next();
        float life = 0.6f + 0.4f * ((i * 11) % SPARKS) / SPARKS;
        if (p > life + 0.2f) continue;
        float r = std::min(reach - 2, 6 + (reach - 6) * speed * p);
        float x = cx + r * std::cos(a), y = cy + r * std::sin(a);
        Rgb col = scale(hue, 1.05f - 0.3f * p);
        if (i % 3 == 0) sparkle(c, x, y, frame < 3 ? 2 : 1, col);
        else dot(c, x, y, std::max(0.6f, 1.8f - frame * 0.3f), col);
    }
    return to_bitmap(c);
}

BITMAP *make_shard()
{
    const int W = 36, H = 44;
    Canvas c(W, H);
    struct P {
        float x, y;
    };
    const P outline[] = {{19, 1}, {31, 11}, {30, 29}, {15, 43}, {4, 31}, {7, 12}};
    const int n = 6;
    const P mid{17.5f, 20};
    const Rgb red{215, 22, 40};
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            for (int i = 0; i < n; i++) {
                P a = outline[i], b = outline[(i + 1) % n];
                if (!in_triangle(x + 0.5f, y + 0.5f, a.x, a.y, b.x, b.y, mid.x, mid.y)) continue;
                // each facet lit by how much it faces the light at the top left
                float fx = (a.x + b.x) / 2 - mid.x, fy = (a.y + b.y) / 2 - mid.y;
                float len = std::hypot(fx, fy);
                float lit = (-0.6f * fx - 0.8f * fy) / len;
                Rgb col = lit > 0 ? mix(red, {255, 120, 125}, lit * 0.9f) : mix(red, {105, 0, 18}, -lit * 0.9f);
                col = scale(col, 1.08f - 0.2f * (y / float(H)));
                c.plot(x, y, col);
                break;
            }
    std::vector<float> d = depth_of(c);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            if (c.is_solid(x, y) && d[y * W + x] < 1.2f) c.at(x, y) = {95, 0, 16};
    sparkle(c, 13, 12, 2, {255, 235, 235});
    c.paint(22, 31, {255, 190, 190});
    c.paint(23, 30, {255, 150, 155});
    return to_bitmap(c);
}

BITMAP *make_filler(int index)
{
    BITMAP *bmp = create_bitmap_ex(16, 8, 8);
    clear_to_color(bmp, bitmap_mask_color(bmp));
    int shade = 60 + (index * 37) % 120;
    circlefill(bmp, 3, 3, 3, makecol16(shade / 2, shade / 3, shade));
    return bmp;
}

}  // namespace media
