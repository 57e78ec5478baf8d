// Start-up of the file table and the clip table, and their part of
// `reelhost info`: the registered media files and the clips cut from them.
#include <cinttypes>
#include <cstdio>

#include "host.h"
#include "reelcore/clips.h"
#include "reelcore/files.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"

namespace {

const FmFileTable* table() {
    Handle h = reinterpret_cast<Handle>(GetAGlobal(kSlotFileTable));
    return h && *h ? reinterpret_cast<const FmFileTable*>(*h) : nullptr;
}

void typeText(OSType t, char out[5]) {
    if (t == 0) {
        std::snprintf(out, 5, "none");
        return;
    }
    for (int i = 0; i < 4; ++i) {
        char c = char((t >> (24 - 8 * i)) & 0xFF);
        out[i] = (c >= 32 && c < 127) ? c : '.';
    }
    out[4] = '\0';
}

host::Registrar fileTable(host::Step{300, "file table",
                                     [](const host::Options&) {
                                         InitFileQueue();
                                         return GetAGlobal(kSlotFileTable) != 0;
                                     },
                                     nullptr});

void printFiles(FILE* out) {
    const FmFileTable* t = table();
    if (!t) return;
    int files = 0;
    for (int32_t id = 1; id <= t->count; ++id)
        if (FindFile(int16_t(id))) ++files;
    std::fprintf(out, "file table: %s (FileIDs up to %d, %d slots)\n",
                 host::countText(uint64_t(files), "file").c_str(), t->count, t->capacity);
    for (int32_t id = 1; id <= t->count; ++id) {
        Handle h = FindFile(int16_t(id));
        if (!h) continue;
        const FmFileRecord* r = reinterpret_cast<const FmFileRecord*>(*h);
        char type[5], handler[5];
        typeText(r->type, type);
        typeText(r->handler, handler);
        std::fprintf(out, "  file %d: %s [type %s, handler %s, %s%s%s]\n", id, r->spec.name, type,
                     handler, host::countText(uint64_t(r->subscriptions), "subscription").c_str(),
                     r->offline ? ", offline" : "", r->dataState > 1 ? ", open" : "");
    }
}

host::Registrar clipTable(host::Step{310, "clip table",
                                     [](const host::Options&) {
                                         InitClipQueue();
                                         return GetAGlobal(kSlotClipTable) != 0;
                                     },
                                     nullptr});

void printClips(FILE* out) {
    if (!GetAGlobal(kSlotClipTable)) return;
    FmClipIterator it{-1};
    int clips = 0;
    while (GetNextUsedClipID(&it, nullptr)) ++clips;
    std::fprintf(out, "clip table: %s (%d slots, next new clipID %d)\n",
                 host::countText(uint64_t(clips), "clip").c_str(), int(GetAGlobal(kSlotClipCount)),
                 int(GetAGlobal(kSlotNextClipID)));
    it.index = -1;
    Handle h = nullptr;
    while (GetNextUsedClipID(&it, &h)) {
        const FmClipRecord* c = reinterpret_cast<const FmClipRecord*>(*h);
        char title[kClipTitleSize];
        GetClipTitle(c->clipID, title, nullptr);
        std::fprintf(out, "  clip %d: file %d \"%s\" in %d out %d at %d/%d", c->clipID, c->fileID,
                     title, c->markers[0], c->markers[1], c->timeBase.scale, c->timeBase.samp);
        if (c->parent) std::fprintf(out, ", under clip %d", c->parent);
        if (GetClipLink(c->clipID))
            std::fprintf(out, ", linked to clip %d", GetClipLink(c->clipID));
        std::fprintf(out, ", %s, %s\n",
                     host::countText(uint64_t(FmCountClipMarkers(c->clipID)), "marker").c_str(),
                     host::countText(uint64_t(c->subscriptions), "subscription").c_str());
    }
}

host::Registrar info(host::InfoSection{300, printFiles});
host::Registrar clipInfo(host::InfoSection{310, printClips});

}  // namespace

namespace {

// Registers each path, opens and releases its data file once, then shows the
// table and how many idle files a full CloseUp closes.
std::vector<std::string> mediaPaths;

int runMedia() {
    int failures = 0;
    for (const std::string& path : mediaPaths) {
        int16_t id = AddFile(path.c_str(), 0, 0, 0);
        if (id == 0) {
            std::fprintf(stdout, "%s: cannot be registered\n", path.c_str());
            ++failures;
            continue;
        }
        FileSubscribe(id);
        FileRef ref = OpenFmxFile(id, 0);
        int32_t size = 0;
        if (ref > 2 && GetEOF(ref, &size) == noErr) {
            std::fprintf(stdout, "%s: FileID %d, %s\n", path.c_str(), id,
                         host::bytesText(uint64_t(size)).c_str());
        } else {
            std::fprintf(stdout, "%s: FileID %d, %s\n", path.c_str(), id,
                         ref == 1 ? "offline" : "cannot be opened");
            if (ref != 1) ++failures;
        }
        if (ref != -1) ReleaseFile(id);
    }
    printFiles(stdout);
    std::fprintf(stdout, "idle files closed: %d\n", CloseUp(0));
    return failures ? 1 : 0;
}

host::Registrar mediaCommand(host::Command{
    "media", "register media files, open each once, list the file table",
    [](CLI::App& cmd) {
        cmd.add_option("FILE", mediaPaths, "media files (a missing one is shown offline)")
            ->required();
    },
    runMedia});

}  // namespace
