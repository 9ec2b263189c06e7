// Makes every item of the game's datafile from code and has the library's `dat`
// tool pack them, in index order, into one password-protected datafile.
//
//   make-media --dat /usr/bin/dat --fonts /usr/share/fonts/truetype/dejavu --tracks <five .mid, comma-separated>
//              --work <scratch folder> --out <path of data.dat>
//
// The tracks are the scores in music/, made into MIDI files by abc2midi before this runs.
//
// It also draws the desktop icon, one PNG per size, into a folder:
//
//   make-media --icons <folder>        (writes ghosts-of-vorn-16.png ... ghosts-of-vorn-256.png)
#include "media.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Item {
    std::string file;
    std::string type;  // dat's object type
};

bool fail(const std::string &why)
{
    std::fprintf(stderr, "make-media: %s\n", why.c_str());
    return false;
}

bool run(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // dat lists every object it inserts; only its complaints are worth showing
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int err = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (err != 0) return fail("cannot run " + args[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return fail(args[0] + " failed");
    return true;
}

bool save_picture(BITMAP *bmp, const std::string &path)
{
    bool ok = save_bmp(path.c_str(), bmp, nullptr) == 0;
    destroy_bitmap(bmp);
    return ok || fail("cannot write " + path);
}

// Writes one file per index and says which kind `dat` should read it as.
bool make_items(const std::string &work, const std::string &fonts, const std::vector<std::string> &tracks,
                std::vector<Item> &items)
{
    using namespace media;
    items.assign(LAST_ITEM + 1, {});
    auto name = [&](int i, const char *what, const char *ext) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "i%03d_%s.%s", i, what, ext);
        return work + "/" + buf;
    };
    for (int i = 0; i <= LAST_ITEM; i++) {
        Item &it = items[i];
        bool ok = true;
        if (i >= GHOST_PICTURE_FIRST && i < GHOST_PICTURE_FIRST + GHOST_PICTURE_COUNT) {
            it = {name(i, "ghost", "bmp"), "BMP"};
            ok = save_picture(make_ghost(i - GHOST_PICTURE_FIRST), it.file);
        } else if (i >= VANISH_FRAME_FIRST && i < VANISH_FRAME_FIRST + VANISH_FRAME_COUNT) {
            it = {name(i, "vanish", "bmp"), "BMP"};
            ok = save_picture(make_vanish_frame(i - VANISH_FRAME_FIRST), it.file);
        } else if (i == SHARD_PICTURE) {
            it = {name(i, "shard", "bmp"), "BMP"};
            ok = save_picture(make_shard(), it.file);
        } else if (i == HEADING_FONT || i == TEXT_FONT) {
            it = {name(i, i == HEADING_FONT ? "heading" : "text", "bmp"), "FONT"};
            FontStyle style = i == HEADING_FONT ? FontStyle{fonts + "/DejaVuSerif-Bold.ttf", 26, 38, true}
                                                : FontStyle{fonts + "/DejaVuSans.ttf", 9, 10, false};
            std::string err = write_font_grid(style, it.file);
            ok = err.empty() || fail(err);
        } else if (i >= MUSIC_TRACK_FIRST && i < MUSIC_TRACK_FIRST + MUSIC_TRACK_COUNT) {
            it = {tracks[i - MUSIC_TRACK_FIRST], "MIDI"};
        } else if (i == BEAM_SAMPLE) {
            it = {name(i, "zap", "wav"), "SAMP"};
            ok = write_wav(it.file, make_zap(22050), 22050) || fail("cannot write " + it.file);
        } else {
            it = {name(i, "spare", "bmp"), "BMP"};
            ok = save_picture(make_filler(i), it.file);
        }
        if (!ok) return false;
    }
    return true;
}

// `dat` takes one object type per run, so runs of same-typed items go in together;
// with -n0 each run appends in the given order, which keeps the indices.
bool assemble(const std::string &dat, const std::vector<Item> &items, const std::string &out)
{
    std::remove(out.c_str());
    for (size_t i = 0; i < items.size();) {
        size_t j = i;
        while (j < items.size() && items[j].type == items[i].type) j++;
        std::vector<std::string> args{dat, "-007", DATA_PASSWORD, "-n0", "-s1", "-c2"};
        if (items[i].type == "BMP") args.insert(args.end(), {"-bpp", "16"});
        args.insert(args.end(), {out, "-a"});
        for (size_t k = i; k < j; k++) args.push_back(items[k].file);
        args.insert(args.end(), {"-t", items[i].type});
        if (!run(args)) return false;
        i = j;
    }
    return true;
}

// The sheet ghost, the game's plainest, reads best when small.
bool make_icons(const std::string &folder)
{
    const int ICON_GHOST = 0;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return fail("cannot make " + folder);
    // 16 and 24 are for the Windows icon only.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        std::vector<uint8_t> rgba = media::make_ghost_icon(ICON_GHOST, size);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = image.height = size;
        image.format = PNG_FORMAT_RGBA;
        std::string path = folder + "/ghosts-of-vorn-" + std::to_string(size) + ".png";
        if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr))
            return fail("cannot write " + path + ": " + image.message);
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::map<std::string, std::string> opt;
    for (int i = 1; i + 1 < argc; i += 2) opt[argv[i]] = argv[i + 1];
    if (!opt["--icons"].empty()) return make_icons(opt["--icons"]) ? 0 : 1;
    std::vector<std::string> tracks;
    for (size_t from = 0, comma; !opt["--tracks"].empty() && from <= opt["--tracks"].size(); from = comma + 1) {
        comma = std::min(opt["--tracks"].find(',', from), opt["--tracks"].size());
        tracks.push_back(opt["--tracks"].substr(from, comma - from));
    }
    for (const char *key : {"--dat", "--fonts", "--work", "--out"})
        if (opt[key].empty() || tracks.size() != MUSIC_TRACK_COUNT) {
            std::fprintf(stderr, "usage: %s --dat DAT --fonts DIR --tracks 1.mid,...,5.mid --work DIR --out FILE"
                                 " | --icons DIR\n", argv[0]);
            return 2;
        }
    // No display is needed to paint into memory bitmaps.
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) return fail("cannot start the library"), 1;
    set_color_depth(16);

    const std::string &work = opt["--work"];
    if (mkdir(work.c_str(), 0777) != 0 && errno != EEXIST) return fail("cannot make " + work), 1;
    std::vector<Item> items;
    if (!make_items(work, opt["--fonts"], tracks, items)) return 1;

    // Built beside the target and renamed, so a failed run never leaves a half-made datafile.
    std::string partial = work + "/data.dat";
    if (!assemble(opt["--dat"], items, partial)) return 1;
    if (std::rename(partial.c_str(), opt["--out"].c_str()) != 0) return fail("cannot move into " + opt["--out"]), 1;
    return 0;
}
