// A path in the system's temporary folder that no other test process uses: ctest runs test cases
// as separate processes side by side, so a counter alone would collide.
#pragma once

#include <filesystem>
#include <random>
#include <string>

inline std::filesystem::path UniqueTempPath(const std::string& stem) {
    static std::mt19937_64 random{std::random_device{}()};
    static int counter = 0;
    return std::filesystem::temp_directory_path() /
           (stem + "-" + std::to_string(random()) + "-" + std::to_string(++counter));
}
