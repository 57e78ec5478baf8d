// Shared set-up for the project persistence tests: runtime state, temporary
// files, and streams over text held in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/alloc.h"
#include "project/codec_internal.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"

namespace projtest {

constexpr OSType code(const char (&c)[5]) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

inline OSType codeOf(const std::string& s) {
    char c[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 4 && i < s.size(); ++i) c[i] = s[i];
    return rc::project::charsToType(c);
}

class ProjectTest : public ::testing::Test {
  protected:
    std::filesystem::path dir;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 100);
        rc::platform::resetAllocationFaults();
        rc::project::failFileWritesAfter(-1);
        char tmpl[] = "/tmp/reelprojXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        rc::platform::resetAllocationFaults();
        rc::project::failFileWritesAfter(-1);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string path(const char* name) const { return (dir / name).string(); }

    static std::string readFile(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void writeFile(const std::string& p, const std::string& text) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
    }
    FileRef open(const std::string& p, bool create = false) {
        if (create) {
            EXPECT_EQ(HCreate(0, 0, p.c_str()), 0);
        }
        FileRef ref = -1;
        EXPECT_EQ(HOpen(0, 0, p.c_str(), fsRdWrPerm, &ref), noErr);
        return ref;
    }

    // Runs `write` on a write stream over a file and returns the text.
    template <class Fn>
    std::string written(Fn&& write) {
        std::string p = path("written.txt");
        FileRef ref = open(p, true);
        ProjBufHand out = CreateProjBufHand(ref, kProjBufSize, kProjModeWrite);
        EXPECT_NE(out, nullptr);
        write(out);
        EXPECT_EQ(CloseProjBufHand(out), noErr);
        FSClose(ref);
        return readFile(p);
    }

    // A read stream over `text` that refills like a file stream, with a
    // small buffer so lines straddle refills.
    struct Reader {
        rc::project::MemorySource source;
        std::string text;
        ProjBufHand stream = nullptr;
        Reader(std::string t, int32_t capacity) : text(std::move(t)) {
            source.data = reinterpret_cast<const uint8_t*>(text.data());
            source.size = int32_t(text.size());
            stream = rc::project::createSourceStream(&source, capacity);
        }
        ~Reader() {
            if (stream) CloseProjBufHand(stream);
        }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
    };
};

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

}  // namespace projtest
