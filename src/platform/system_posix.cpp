// The system's part on Linux and other POSIX systems.
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

DatafileTrial datafile_trial = nullptr;

// Makes a rename in the file's folder last through a power cut.
void sync_folder_of(const fs::path& path) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

void start_platform(DatafileTrial trial) { datafile_trial = trial; }

namespace {
void drop_alsa_message(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

// ALSA, loaded by the library's sound module, prints each failed probe; only if it is loaded.
void hush_sound_library() {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!alsa)
        return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    if (void* set = dlsym(alsa, "snd_lib_error_set_handler"))
        reinterpret_cast<int (*)(Handler)>(set)(drop_alsa_message);
    dlclose(alsa);
}

// A child process tries the load first; it must not run the library's exit handlers.
bool datafile_loads(const char* path) {
    fflush(nullptr);
    const pid_t pid = datafile_trial ? fork() : -1;
    if (pid < 0)
        return true;
    if (pid == 0) {
        for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL})
            signal(sig, SIG_DFL);
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0)
            dup2(null_fd, 2);
        _exit(datafile_trial(path) ? 0 : 1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return true;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool read_plain_file(const std::string& path, std::string& text, std::size_t max_bytes) {
    // Opened without blocking, as a FIFO would otherwise wait for a writer for ever.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char chunk[4096];
    while (ok && text.size() < max_bytes) {
        const ssize_t n = read(fd, chunk, std::min(sizeof chunk, max_bytes - text.size()));
        if (n == 0)
            break;
        if (n < 0)
            ok = false;
        else
            text.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return ok;
}

bool replace_file(const std::string& path, const std::string& bytes) {
    struct stat old_file;
    const bool exists = stat(path.c_str(), &old_file) == 0;
    if (exists && access(path.c_str(), W_OK) != 0)
        return false;
    const std::string temp_name = path + ".new";
    FILE* file = fopen(temp_name.c_str(), "wb");
    if (!file)
        return false;
    if (exists)
        fchmod(fileno(file), old_file.st_mode & 07777);
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // On the disk before the rename, so that a power cut leaves the old file or the new one.
    const bool synced = fflush(file) == 0 && fsync(fileno(file)) == 0;
    const bool closed = fclose(file) == 0;
    if (written && synced && closed && rename(temp_name.c_str(), path.c_str()) == 0) {
        sync_folder_of(path);
        return true;
    }
    const int error = errno;
    remove(temp_name.c_str());
    errno = error;
    return false;
}

std::string settings_folder() {
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/ghosts-of-vorn";
    const char* home = getenv("HOME");
    return home && home[0] ? std::string(home) + "/.config/ghosts-of-vorn" : "";
}
