// What the game takes from data.dat: kinds by index, picture sizes and masks,
// fonts that fit the game's texts, and a zap short enough to set the rate of fire.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

DATAFILE *load(const char *password)
{
    packfile_password(password);
    DATAFILE *d = load_datafile("data.dat");
    packfile_password(nullptr);
    return d;
}

class Datafile : public testing::Test {
protected:
    static DATAFILE *data;

    static void SetUpTestSuite()
    {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        set_color_depth(16);
        data = load("mangotwist");
    }
    static void TearDownTestSuite()
    {
        if (data) unload_datafile(data);
        data = nullptr;
    }
    void SetUp() override { ASSERT_NE(data, nullptr) << "data.dat does not load with its password"; }

    static BITMAP *bitmap(int i) { return (BITMAP *)data[i].dat; }
    static FONT *font_at(int i) { return (FONT *)data[i].dat; }
};
DATAFILE *Datafile::data = nullptr;

bool border_is_mask(BITMAP *b)
{
    int mask = bitmap_mask_color(b);
    for (int x = 0; x < b->w; x++)
        if (getpixel(b, x, 0) != mask || getpixel(b, x, b->h - 1) != mask) return false;
    for (int y = 0; y < b->h; y++)
        if (getpixel(b, 0, y) != mask || getpixel(b, b->w - 1, y) != mask) return false;
    return true;
}

// Mask pixels that cannot be reached from the border: holes in the body.
int holes(BITMAP *b)
{
    int mask = bitmap_mask_color(b);
    std::vector<char> seen(b->w * b->h, 0);
    std::vector<std::pair<int, int>> todo;
    for (int x = 0; x < b->w; x++) todo.insert(todo.end(), {{x, 0}, {x, b->h - 1}});
    for (int y = 0; y < b->h; y++) todo.insert(todo.end(), {{0, y}, {b->w - 1, y}});
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (x < 0 || y < 0 || x >= b->w || y >= b->h || seen[y * b->w + x] || getpixel(b, x, y) != mask) continue;
        seen[y * b->w + x] = 1;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    int n = 0;
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++) n += getpixel(b, x, y) == mask && !seen[y * b->w + x];
    return n;
}

struct Coverage {
    int count = 0;
    double cx = 0, cy = 0, r = 0, g = 0, b = 0;
};

Coverage coverage(BITMAP *bmp)
{
    Coverage c;
    int mask = bitmap_mask_color(bmp);
    for (int y = 0; y < bmp->h; y++)
        for (int x = 0; x < bmp->w; x++) {
            int p = getpixel(bmp, x, y);
            if (p == mask) continue;
            c.count++;
            c.cx += x + 0.5;
            c.cy += y + 0.5;
            c.r += getr16(p);
            c.g += getg16(p);
            c.b += getb16(p);
        }
    if (c.count) {
        c.cx /= c.count, c.cy /= c.count, c.r /= c.count, c.g /= c.count, c.b /= c.count;
    }
    return c;
}

TEST(DatafilePassword, OpensOnlyWithThePassword)
{
    ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    EXPECT_EQ(load(nullptr), nullptr);
    EXPECT_EQ(load("wrongtwist"), nullptr);
    DATAFILE *d = load("mangotwist");
    ASSERT_NE(d, nullptr);
    unload_datafile(d);
}

TEST_F(Datafile, EveryIndexHoldsItsKind)
{
    int count = 0;
    while (data[count].type != DAT_END) count++;
    ASSERT_GE(count, 108);
    for (int i : {4, 5, 6, 7, 8, 9, 14, 15, 16, 17, 18, 32}) EXPECT_EQ(data[i].type, DAT_BITMAP) << "item " << i;
    for (int i : {86, 96}) EXPECT_EQ(data[i].type, DAT_FONT) << "item " << i;
    for (int i = 97; i <= 101; i++) EXPECT_EQ(data[i].type, DAT_MIDI) << "item " << i;
    EXPECT_EQ(data[107].type, DAT_SAMPLE);
}

TEST_F(Datafile, GhostsAreSolidMaskedDistinctAndOneSize)
{
    BITMAP *first = bitmap(4);
    EXPECT_GE(first->w, 40);
    EXPECT_LE(first->w, 56);
    EXPECT_GE(first->h, 40);
    EXPECT_LE(first->h, 56);
    for (int i = 4; i <= 9; i++) {
        BITMAP *g = bitmap(i);
        EXPECT_EQ(bitmap_color_depth(g), 16) << "ghost " << i;
        ASSERT_EQ(g->w, first->w) << "ghost " << i;
        ASSERT_EQ(g->h, first->h) << "ghost " << i;
        EXPECT_TRUE(border_is_mask(g)) << "ghost " << i;
        EXPECT_EQ(holes(g), 0) << "ghost " << i << " has see-through pixels inside its body";
        EXPECT_GT(coverage(g).count, g->w * g->h / 4) << "ghost " << i;
        for (int j = 4; j < i; j++) {
            int differ = 0;
            for (int y = 0; y < g->h; y++)
                for (int x = 0; x < g->w; x++) differ += getpixel(g, x, y) != getpixel(bitmap(j), x, y);
            EXPECT_GT(differ, g->w * g->h / 4) << "ghosts " << j << " and " << i << " look alike";
        }
    }
}

// The game puts a frame's top-left at the ghost's minus half of frame 14's size.
TEST_F(Datafile, VanishFramesBurstOnTheGhostsCentre)
{
    BITMAP *first = bitmap(14), *ghost = bitmap(4);
    const double cx = first->w / 2 + ghost->w / 2.0, cy = first->h / 2 + ghost->h / 2.0;
    for (int i = 14; i <= 18; i++) {
        BITMAP *f = bitmap(i);
        ASSERT_EQ(f->w, first->w) << "frame " << i;
        ASSERT_EQ(f->h, first->h) << "frame " << i;
        EXPECT_TRUE(border_is_mask(f)) << "frame " << i;
        Coverage c = coverage(f);
        ASSERT_GT(c.count, 20) << "frame " << i << " is empty";
        EXPECT_NEAR(c.cx, cx, 4) << "frame " << i;
        EXPECT_NEAR(c.cy, cy, 4) << "frame " << i;
    }
}

TEST_F(Datafile, ShardIsRed)
{
    BITMAP *s = bitmap(32);
    EXPECT_TRUE(border_is_mask(s));
    Coverage c = coverage(s);
    ASSERT_GT(c.count, 200);
    EXPECT_GT(c.r, 2 * c.g);
    EXPECT_GT(c.r, 2 * c.b);
}

TEST_F(Datafile, FontsAreOneColourAndTheirHeightsFitTheLayout)
{
    EXPECT_TRUE(is_mono_font(font_at(86))) << "the game draws the heading font in white";
    EXPECT_TRUE(is_mono_font(font_at(96))) << "the game draws the text font in white";
    EXPECT_GE(text_height(font_at(86)), 24);
    EXPECT_LE(text_height(font_at(86)), 40);
    EXPECT_LE(text_height(font_at(96)), 10) << "story lines are 10 pixels apart";
}

TEST_F(Datafile, EveryFixedTextFitsTheScreenFromItsX)
{
    struct Placed {
        int font, x;
        const char *text;
    };
    // Longest forms of the game's texts, numbers at their widest.
    const Placed texts[] = {
        {86, 20, "The Ghosts of Vorn"}, {86, 20, "Level 1000"}, {86, 20, "Game Over!"}, {86, 20, "You win!"},
        {86, 20, "High Scores!"},
        {96, 0, "Heat Measure"}, {96, 0, "Flash Bombs: 2147483647"}, {96, 0, "Time Left: 2147483647"},
        {96, 155, "OVERHEAT!"}, {96, 245, "Hit A to continue"}, {96, 0, "Created by: Fernmoor"},
        {96, 20, "You have aqcuired a flash bomb! Hit the right mouse button to instantly kill all visible ghosts!"},
        {96, 20, "2147483600 bonus points!!"},
        {96, 40, "Get ready for some ghost hunting!"}, {96, 40, "Are you ready to get some Red Gem shards?"},
        {96, 40, "It's all up to you!"}, {96, 40, "You are the King's only hope!"},
        {96, 40, "The King is counting on you!"}, {96, 40, "Watch out, those ghosts are fast!"},
        {96, 40, "The ghosts of Vorn never rest!"}, {96, 40, "Can you find the Red Gem shards in time?"},
        {96, 40, "You must be brave. Good luck!"}, {96, 40, "Don't let the ghosts of Vorn frighten you!"},
        {96, 40, "Looks like the rest of the ghosts still hold the Red Gem shards."},
        {96, 40, "Sorry, bub. Not fast enough!"}, {96, 40, "The ghosts got away with the Red Gem Shards!"},
        {96, 40, "You have failed King Sakkar!"},
        {96, 40, "It looks like the ghosts of Vorn still have most of the Red Gem!"},
        {96, 40, "Maybe you need more practice."}, {96, 40, "It was only a few ghosts. Try harder next time."},
        {96, 40, "King Sakkar is ashamed of you!"}, {96, 40, "Maybe you should get your eyes checked?"},
        {96, 40, "The ghosts have eluded you, for now..."}, {96, 40, "Keep trying! Never lose hope!"},
        {96, 40, "Great job!"}, {96, 40, "You have collected all of the Red Gem Shards and are"},
        {96, 40, "now able to create the complete Red Gem!"},
        {96, 40, "Not only that, but you have rid Vorn of all it's ghost"}, {96, 40, "inhabitants."},
        {96, 40, "You are truly a hero, and King Sakkar recognizes this."},
        {96, 40, "You shall be knigted, and known forever!!"},
        {96, 40, "King Sakkar has commisioned you to find the elusive Red Gem of Vorn"},
        {96, 40, "Little did you know that Vorn was a planet which contained little life."},
        {96, 40, "The only thing that moves on the planet are ghosts!"},
        {96, 40, "Your sole equipment is a specialized flashlight called the X-Beam."},
        {96, 40, "Its specialized light is the only thing that can destroy these ghosts."},
        {96, 40, "Be weary, however, for the ghosts travel in packs; and each pack has only but a few."},
        {96, 40, "shards of the Red Gem, which you must find in its entirety."},
        {96, 40, "Did the King mention to tell you that the X-Beam can overheat?"},
        {96, 355, "-2147483648"},
    };
    for (const Placed &p : texts)
        EXPECT_LE(p.x + text_length(font_at(p.font), p.text), 640) << '"' << p.text << "\" at x " << p.x;

    FONT *text = font_at(96);
    for (const char *item : {"New Game", "High Scores", "Quit"}) EXPECT_LE(text_length(text, item), 640);
    // The score's left edge leaves room for the HUD's left column.
    EXPECT_GT(640 - text_length(text, "Score: 000000000000000000"), text_length(text, "Time Left: 2147483647"));
    // High-score rows: the name column must end before the score column starts.
    EXPECT_LT(220 + text_length(text, "Ghost Hunter"), 355);
}

TEST_F(Datafile, ZapIsShort)
{
    SAMPLE *zap = (SAMPLE *)data[107].dat;
    ASSERT_GT(zap->freq, 0);
    double seconds = zap->len / (double)zap->freq;
    EXPECT_GE(seconds, 0.06);
    EXPECT_LE(seconds, 0.15);
}

}  // namespace
