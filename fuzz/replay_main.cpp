// Replays every file of a corpus folder through the fuzz entry, so the
// corpus runs as an ordinary test without a fuzzing engine.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

// The fuzz entry replayed; each fuzz target's replay program names its own.
#ifndef REEL_FUZZ_ENTRY
#define REEL_FUZZ_ENTRY fuzzProjectInput
#endif
extern "C" int REEL_FUZZ_ENTRY(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR|FILE...\n", argv[0]);
        return 2;
    }
    size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> paths;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& e : std::filesystem::directory_iterator(argv[i]))
                if (e.is_regular_file()) paths.push_back(e.path());
        } else {
            paths.push_back(argv[i]);
        }
        for (const auto& p : paths) {
            std::ifstream in(p, std::ios::binary);
            std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
            REEL_FUZZ_ENTRY(data.data(), data.size());
            ++files;
        }
    }
    std::printf("replayed %zu inputs\n", files);
    return files ? 0 : 1;
}
