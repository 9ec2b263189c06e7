// Files as bytes, and the high-score file's format; shared by the unit tests and the fuzz targets.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "frontend/high_scores.h"

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    return bool(out << bytes << std::flush);
}

using ScoreRows = std::vector<std::pair<std::string, int>>;

// 36 bytes a row, a 32-byte name field and a little-endian score, padded with empty rows to 15.
inline std::string score_file(ScoreRows rows) {
    rows.resize(HIGH_SCORE_COUNT);
    std::string bytes;
    for (const auto& [name, score] : rows) {
        bytes += (name + std::string(HIGH_SCORE_NAME_SIZE, '\0')).substr(0, HIGH_SCORE_NAME_SIZE);
        for (int b = 0; b < 4; ++b)
            bytes += static_cast<char>(static_cast<unsigned>(score) >> (8 * b));
    }
    return bytes;
}
