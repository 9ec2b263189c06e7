// The system's part in a web page: the game's files live in the browser's storage, which is
// written through before a save counts, and the datafile is checked against its sum before loading.
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

extern "C" {
// Mounts the browser's storage on /save and reads it back; false when the browser refuses it.
int web_open_storage();
// Writes /save through to the browser's storage; false when that failed.
int web_sync_storage();
}

namespace {

// Packed by the page's build: data.dat, allegro.cfg and the music's instruments.
constexpr const char* game_folder = "/game";
bool storage_kept = false;

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace

// The page is the game's folder, as the launcher's is on the desktop; its table lies behind a
// link in the browser's storage, so that it outlives the page.
void start_platform(DatafileTrial) {
    storage_kept = web_open_storage() != 0;
    if (chdir(game_folder) != 0)
        perror(game_folder);
    symlink("/save/High Scores.txt", "High Scores.txt");
}

// The browser's storage for this page, mounted there by start_platform.
std::string settings_folder() { return "/save"; }

// Without fork there is no trying the load apart: the file must match the sum written beside it.
bool datafile_loads(const char* path) {
    std::string sum_text, data;
    if (!read_plain_file(std::string(path) + ".sum", sum_text, 64))
        return true;
    unsigned long long size = 0, sum = 0;
    if (sscanf(sum_text.c_str(), "%llu %llx", &size, &sum) != 2)
        return false;
    return read_plain_file(path, data, size + 1) && data.size() == size && fnv1a(data) == sum;
}

bool read_plain_file(const std::string& path, std::string& text, std::size_t max_bytes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char chunk[4096];
    std::size_t n = 0;
    while (text.size() < max_bytes && (n = fread(chunk, 1, std::min(sizeof chunk, max_bytes - text.size()), file)) > 0)
        text.append(chunk, n);
    const bool ok = !ferror(file);
    fclose(file);
    return ok;
}

// A browser that refuses storage keeps the files for this visit only, as the page has said.
bool replace_file(const std::string& path, const std::string& bytes) {
    const std::string temp_name = path + ".new";
    FILE* file = fopen(temp_name.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = fclose(file) == 0;
    if (!written || !closed || rename(temp_name.c_str(), path.c_str()) != 0) {
        const int error = errno;
        remove(temp_name.c_str());
        errno = error;
        return false;
    }
    if (storage_kept && !web_sync_storage()) {
        errno = EIO;
        return false;
    }
    return true;
}
