// Common set-up for the file and clip table tests: fresh global slots, fresh
// tables, default hooks, and a scratch folder of real files.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace mediatest {

// A four-character code, first character in the top byte.
constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

// What the interface was told.
struct Sent {
    OSType type;
    int32_t code;
    intptr_t p1, p2;
};
inline std::vector<Sent>& sent() {
    static std::vector<Sent> s;
    return s;
}
inline int16_t recordMessage(OSType type, int32_t code, intptr_t p1, intptr_t p2, intptr_t,
                             intptr_t) {
    sent().push_back({type, code, p1, p2});
    return 1;
}

class MediaTest : public ::testing::Test {
  protected:
    std::string dir;
    intptr_t budget = 200;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        rc::mediahooks::resetAll();
        rc::mediahooks::setSendMessage(recordMessage);
        SetLocateFileProc(nullptr);
        sent().clear();
        SetAGlobal(kSlotOpenFileBudget, budget);
        InitFileQueue();
        InitClipQueue();
        char tmpl[] = "/tmp/reelmediaXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        rc::media::disposeClipTable();
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
        SetLocateFileProc(nullptr);
        std::system(("rm -rf " + dir).c_str());
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string makeFile(const std::string& name, const std::string& content = "data") const {
        std::string p = path(name);
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(content.data(), 1, content.size(), f);
            std::fclose(f);
        }
        return p;
    }
    static int16_t add(const std::string& p, OSType type = 0) {
        return AddFile(p.c_str(), 0, 0, type);
    }
    static FmFileRecord* rec(int16_t id) { return rc::media::findFileRec(id); }
};

}  // namespace mediatest
