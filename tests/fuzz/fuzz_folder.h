// The fuzz targets' private working folder.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// Stops the run when the folder cannot be had: no input may touch the repository.
[[noreturn]] inline void fuzz_folder_failed(const char* what) {
    std::perror(what);
    std::abort();
}

// Holds the working folder for one input: the game's files have fixed relative names, and the
// fuzzer's own relative paths must still work between inputs.
struct FuzzFolder {
    FuzzFolder() {
        static const int folder = make_folder();
        home = open(".", O_RDONLY | O_DIRECTORY);
        if (home < 0 || fchdir(folder) != 0)
            fuzz_folder_failed("vorn fuzz: entering the temporary folder");
    }
    ~FuzzFolder() {
        if (fchdir(home) != 0)
            fuzz_folder_failed("vorn fuzz: leaving the temporary folder");
        close(home);
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    // A fresh temporary folder, removed again at exit.
    static int make_folder() {
        static std::string path;
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorn-fuzz-XXXXXX";
        if (!mkdtemp(path.data()))
            fuzz_folder_failed("vorn fuzz: making a temporary folder");
        std::atexit([] { std::filesystem::remove_all(path); });
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            fuzz_folder_failed(path.c_str());
        return fd;
    }

    int home;
};

// Writes the input as the named file, replacing it.
inline void write_input(const char* name, const unsigned char* data, std::size_t size) {
    FILE* f = std::fopen(name, "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        fuzz_folder_failed(name);
}
