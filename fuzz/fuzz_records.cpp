// Fuzz entry for the project media and clip loaders: arbitrary bytes are
// read as a project (files, clips, titles, clip and time-line markers) into
// fresh tables, without an interface (missing files go offline), then saved
// again and the saved text loaded once more. The first byte picks the
// version the sections are read as when the input has no header.
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "project/stream_internal.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/project_records.h"

using namespace rc::project;

namespace {

int32_t quietAlert(const char*, const char*, int32_t) {
    return kAlertCancel;
}

OSErr describe(int16_t, FmMediaInfo* info, int32_t, bool) {
    std::memset(info, 0, sizeof *info);
    info->video = TDB{0, 25, 1};
    info->audio = TDB{0, 48000, 1};
    info->mediaFlags = 1;
    return 0;
}

void init() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
    FmSetAlertSink(quietAlert);
    SetAGlobal(kSlotOpenFileBudget, 100);
}

void freshTables() {
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
    InitFileQueue();
    InitClipQueue();
    rc::mediahooks::setGetInfo(describe);
}

void freeTimeLine(int32_t count, Handle markers) {
    if (!markers) return;
    auto* m = reinterpret_cast<FmTimeLineMarker*>(*markers);
    for (int32_t i = 0; i < count; ++i)
        for (uint32_t w : m[i].text)
            if (Handle h = WordToHandle(w)) FmDisposeHandle(h);
    FmDisposeHandle(markers);
}

// Loads every group; the clips loaded, in stored order, go into `clips`.
void loadAll(ProjBufHand in, int32_t version, Handle clips, int32_t* count, Handle* timeline) {
    Handle fileMap = FmNewHandle(0), clipMap = FmNewHandle(0);
    const TDB base{0, 30, 1};
    LoadFiles(in, fileMap, 0, 1, version);
    LoadClips(in, clipMap, fileMap, &base, version);
    LoadClipTitles(in, clipMap);
    LoadClipMarkers(in, clipMap);
    LoadTimeLineMarkers(in, count, timeline, version);
    const uint32_t n = FmGetHandleSize(clipMap) / 8;
    for (uint32_t i = 0; i < n; ++i) {
        int32_t id;
        std::memcpy(&id, *clipMap + i * 8 + 4, 4);
        if (FindClip(id)) AddToClipList(clips, id);
    }
    FmDisposeHandle(fileMap);
    FmDisposeHandle(clipMap);
}

// The saved text of the clips and their files, or empty.
std::vector<char> saveAll(Handle clips, int32_t count, Handle timeline) {
    std::vector<char> text;
    const int32_t room = 4 << 20;
    Ptr block = FmNewPtr(room);
    if (!block) return text;
    ProjBufHand out = CreateProjBufHandMemory(block, room, kProjModeWrite);
    if (out) {
        Handle files = FmNewHandle(0);
        FmProjHeader header{0x524C504A, kProjCurrentVersion, 0, kProjPlatformOwn};
        OSErr err = WriteProjHeader(out, &header);
        if (!err) err = SaveClips(out, clips, files);
        if (!err) err = SaveFiles(out, files);
        if (!err) err = SaveClipTitles(out, clips);
        if (!err) err = SaveClipMarkers(out, clips);
        if (!err) err = SaveTimeLineMarkers(out, count, timeline);
        if (!err) {
            ProjBufRecord* r = reinterpret_cast<ProjBufRecord*>(*out);
            text.assign(r->buffer, r->cursor);
        }
        FmDisposeHandle(files);
        DiscardProjBufHand(out);
    }
    FmDisposePtr(block);
    return text;
}

}  // namespace

extern "C" int fuzzRecordsInput(const uint8_t* data, size_t size) {
    init();
    if (size > (1 << 20)) return 0;
    freshTables();
    MemorySource source{data, int32_t(size)};
    ProjBufHand in = createSourceStream(&source, 16 + (size ? data[0] % 32 : 0) * 13);
    if (!in) return 0;
    FmProjHeader header{};
    int32_t version = (size && (data[size - 1] & 1)) ? 6 : 7;
    if (ReadProjHeader(in, &header) == noErr) version = header.version;
    Handle clips = FmNewHandle(0);
    int32_t count = 0;
    Handle timeline = nullptr;
    loadAll(in, version, clips, &count, &timeline);
    CloseProjBufHand(in);
    std::vector<char> saved = saveAll(clips, count, timeline);
    freeTimeLine(count, timeline);
    FmDisposeHandle(clips);

    // The saved text reads back.
    freshTables();
    MemorySource again{reinterpret_cast<const uint8_t*>(saved.data()), int32_t(saved.size())};
    if (ProjBufHand in2 = createSourceStream(&again, 64)) {
        Handle clips2 = FmNewHandle(0);
        count = 0;
        timeline = nullptr;
        loadAll(in2, kProjCurrentVersion, clips2, &count, &timeline);
        freeTimeLine(count, timeline);
        FmDisposeHandle(clips2);
        CloseProjBufHand(in2);
    }
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzRecordsInput(data, size);
}
