// Writes the seed inputs of every fuzz target into <folder>/<target>/, for the fuzzers to start
// from. Usage: fuzz_seeds FOLDER
#include "Seeds.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    for (const std::string& target : vessaro::fuzz::FuzzTargets()) {
        fs::path folder = fs::path(argv[1]) / target;
        fs::create_directories(folder);
        int n = 0;
        for (const auto& seed : vessaro::fuzz::SeedsFor(target)) {
            std::ofstream file(folder / ("seed-" + std::to_string(n++)), std::ios::binary);
            file.write(reinterpret_cast<const char*>(seed.data()), std::streamsize(seed.size()));
        }
    }
    return 0;
}
