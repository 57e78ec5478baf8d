// Fuzz entry for settings files and the preferences store: arbitrary bytes
// are read as a ".prs" file; a block that reads must survive validation and
// write -> read -> write unchanged. The same bytes are then opened as a
// preferences store and every item of its directory is read.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "project/stream_internal.h"
#include "reelcore/alerts.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/prefs.h"
#include "reelcore/struct_codec.h"
#include "settings/prefs_block.h"
#include "settings/prefs_internal.h"
#include "settings/settings_internal.h"

using namespace rc::settings;

namespace {

int32_t quietAlert(const char*, const char*, int32_t) {
    return kAlertOK;
}

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    FmSetAlertSink(quietAlert);
}

std::vector<char> writeToMemory(Handle block) {
    static std::vector<char> room(1 << 22);
    ProjBufHand out = CreateProjBufHandMemory(room.data(), int32_t(room.size()), kProjModeWrite);
    if (!out) return {};
    OSErr err = writeSections(out, *blockOf(block));
    const ProjectSettings& s = *blockOf(block);
    if (!err && s.device.devname[0])
        err =
            WriteStruct(out, fourCC("PDEV"), kDeviceType, kDeviceNames, devicePacking(), &s.device);
    size_t used = size_t(rc::project::rec(out)->pub.cursor - rc::project::rec(out)->pub.buffer);
    CloseProjBufHand(out);
    if (err) return {};
    return std::vector<char>(room.data(), room.data() + used);
}

Handle readFromMemory(const std::vector<char>& text) {
    rc::project::MemorySource src{reinterpret_cast<const uint8_t*>(text.data()),
                                  int32_t(text.size())};
    ProjBufHand in = rc::project::createSourceStream(&src, 64);
    if (!in) return nullptr;
    OSErr err = noErr;
    Handle h = readBlock(in, true, &err);
    CloseProjBufHand(in);
    return h;
}

void fuzzSettingsFile(const uint8_t* data, size_t size) {
    int32_t capacity = 16 + (size ? data[0] % 64 : 0) * 7;
    rc::project::MemorySource source{data, int32_t(size)};
    ProjBufHand stream = rc::project::createSourceStream(&source, capacity);
    if (!stream) return;
    OSErr err = noErr;
    Handle block = readBlock(stream, true, &err);
    CloseProjBufHand(stream);
    if (!block) return;
    if (!plausible(*blockOf(block))) abort();

    std::vector<char> first = writeToMemory(block);
    if (!first.empty()) {
        Handle again = readFromMemory(first);
        if (!again) abort();
        // The capture information was rectified on the first read already.
        std::vector<char> second = writeToMemory(again);
        if (second != first) abort();
        psetDisposeSettings(again);
    }

    // The block as the preferences keep it.
    uint8_t image[kPrefsBlockItemSize];
    rc::prefs::packBlock(*blockOf(block), image);
    Handle unpacked = newBlock();
    if (unpacked) {
        rc::prefs::unpackBlock(image, *blockOf(unpacked));
        if (!plausible(*blockOf(unpacked))) abort();
        psetDisposeSettings(unpacked);
    }
    psetValidateProjectSettings(block, size ? data[size - 1] % 7 : 1);
    psetRectifyCaptureSettings(block);
    Handle copy = newBlock();
    if (copy && psetCopyProjectSettings(block, copy) == noErr) psetCleanupProjectSettings(copy);
    psetDisposeSettings(copy);
    psetDisposeSettings(block);
}

void fuzzPrefsStore(const uint8_t* data, size_t size) {
    static std::string path;
    if (path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/reel-fuzz-prefs-" +
               std::to_string(getpid()) + "/Prefs";
        // The store is made before the exit handler is registered, so it is
        // destroyed after the handler has used it.
        FmSetPrefsPath(nullptr);
        std::atexit([] {
            FmSetPrefsPath(nullptr);  // closes the store and frees its directory
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::path(path).parent_path(), ec);
        });
    }
    FmSetPrefsPath(path.c_str());
    std::remove((path + ".damaged").c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        FileRef ref = -1;
        OpenPrefs(&ref);  // makes the folder
        ClosePrefs();
        f = std::fopen(path.c_str(), "wb");
        if (!f) return;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    FileRef ref = -1;
    if (OpenPrefs(&ref) == noErr) {
        Handle dir = reinterpret_cast<Handle>(GetAGlobal(kSlotPrefsDirectory));
        int32_t n = dir ? int32_t(FmGetHandleSize(dir) / sizeof(rc::prefs::DirEntry)) : 0;
        for (int32_t i = 0; i < n && i < 256; ++i) {
            rc::prefs::DirEntry e;
            std::memcpy(&e, *dir + size_t(i) * sizeof e, sizeof e);
            if (Handle h = GetPrefItemHandle(ref, e.type, e.id)) {
                if (FmGetHandleSize(h) != uint32_t(e.length) && e.type) abort();
                FmDisposeHandle(h);
            }
        }
        int32_t v = 1;
        SetPrefItem(ref, &v, 4, fourCC("Fuzz"), 1);
    }
    ClosePrefs();
}

}  // namespace

extern "C" int fuzzSettingsInput(const uint8_t* data, size_t size) {
    init();
    if (size > (1 << 20)) return 0;
    fuzzSettingsFile(data, size);
    fuzzPrefsStore(data, size);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzSettingsInput(data, size);
}
