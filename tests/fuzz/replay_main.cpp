// Runs a fuzz target over every file of the corpus folders given, in the sanitized test build.
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Names each input before running it, so a report can be traced; an empty corpus is a failure.
int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            const std::string bytes = read_file(entry.path());
            std::fprintf(stderr, "%s\n", entry.path().filename().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    std::printf("%d inputs replayed\n", replayed);
    return replayed == 0;
}
