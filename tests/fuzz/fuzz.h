// What the fuzz targets share: a private working folder, the input as a file, and the rule check.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/files.h"

// Stops the run with the broken rule; libFuzzer keeps the input.
inline void check(bool ok, const char* rule) {
    if (!ok) {
        std::fprintf(stderr, "rule broken: %s\n", rule);
        std::abort();
    }
}

// Every input runs in one temporary folder, removed at exit: the game's files have fixed relative
// names, and the fuzzer's own relative paths must still work between inputs.
struct FuzzFolder {
    const std::filesystem::path home = std::filesystem::current_path();
    FuzzFolder() {
        static std::string path = std::filesystem::temp_directory_path() / "vorn-fuzz-XXXXXX";
        static const bool made = mkdtemp(path.data()) && std::atexit([] { std::filesystem::remove_all(path); }) == 0;
        check(made, "a temporary folder to work in, away from the repository");
        std::filesystem::current_path(path);
    }
    ~FuzzFolder() { std::filesystem::current_path(home); }
};
