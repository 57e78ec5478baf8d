// Shared set-up for the settings tests: runtime state, a temporary folder, a
// fake table of export and capture modules, and block helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/alloc.h"
#include "reelcore/alerts.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/settings.h"
#include "settings/settings_hooks.h"

namespace settest {

constexpr OSType code(const char (&c)[5]) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

inline PsetBlock& blk(Handle h) {
    return *reinterpret_cast<PsetBlock*>(*h);
}

inline Ptr bytes(const char* text) {
    size_t n = std::strlen(text);
    Ptr p = FmNewPtr(uint32_t(n));
    std::memcpy(p, text, n);
    return p;
}

inline std::string ptrText(Ptr p) {
    return p ? std::string(p, FmGetPtrSize(p)) : std::string("(null)");
}

// Alerts are counted and answered with `answer`.
struct AlertLog {
    static inline std::vector<std::string> messages;
    static inline int32_t answer = kAlertOK;
    static int32_t sink(const char*, const char* message, int32_t) {
        messages.push_back(message);
        return answer;
    }
};

class SettingsTest : public ::testing::Test {
  protected:
    std::filesystem::path dir;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        SetAGlobal(kSlotOpenFileBudget, 100);
        rc::platform::resetAllocationFaults();
        AlertLog::messages.clear();
        AlertLog::answer = kAlertOK;
        FmSetAlertSink(AlertLog::sink);
        char tmpl[] = "/tmp/reelsetXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        psetShutdown();
        rc::settingshooks::setExportCatalog(nullptr);
        rc::settingshooks::setCaptureModule(nullptr);
        rc::settingshooks::setClipMedia(nullptr);
        rc::settingshooks::setFileCompressor(nullptr);
        psetSetDialogProc(nullptr);
        psetSetSettingsFolder(nullptr);
        psetSetDefaultSettingsName(nullptr);
        FmSetAlertSink(nullptr);
        rc::platform::resetAllocationFaults();
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

    // A default block with an owned block in every pointer field and a device.
    static Handle richBlock() {
        Handle h = psetNewDefaultSettings();
        PsetBlock& s = blk(h);
        s.general.compilerprefs = bytes("compiler");
        s.general.playmodprefs = bytes("playmod");
        s.video.subtypeprefs = bytes("video");
        s.audio.subtypeprefs = bytes("audio");
        s.capture.capprefs = bytes("capture");
        std::strcpy(s.device.devname, "DV camera");
        Handle dev = FmNewHandleClear(3);
        std::memcpy(*dev, "abc", 3);
        s.device.devdata = HandleToWord(dev);
        return h;
    }
};

}  // namespace settest
