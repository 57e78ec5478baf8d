// reelhost project dump FILE / project check FILE: the tagged sections of a
// project or settings file, and the first malformed one.
// reelhost project save OUT MEDIA... / load FILE [--save OUT] / info FILE:
// a project of one master clip per media file written, read back (missing
// files are kept offline) and listed.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/clips.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/plugins.h"
#include "reelcore/filetable.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/project_records.h"
#include "reelcore/project_stream.h"
#include "reelcore/struct_codec.h"

namespace {

std::string tagText(OSType tag) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(tag >> shift);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

void printSection(void*, OSType tag, int32_t line, int32_t valueLines) {
    std::printf("[%s]\tline %d\t%d value line%s\n", tagText(tag).c_str(), line, valueLines,
                valueLines == 1 ? "" : "s");
}

struct {
    std::string action;  // dump, check, save, load or info
    std::string path;
    std::vector<std::string> media;
    std::string saveTo;
    std::string plugins;
} args;

// The importers that read the media: the given folder, else the media
// plug-ins folder beside reelhost when there is one.
void registerImporters() {
    std::string folder = args.plugins;
    if (folder.empty()) {
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return;
        std::string path(self, size_t(n));
        folder = path.substr(0, path.rfind('/') + 1) + "media-plug-ins";
        if (access(folder.c_str(), R_OK) != 0) return;
    }
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
    AddPlugins();
    SetAGlobal(kSlotPluginFolder, 0);
}

constexpr OSType kSignature = 0x524C504A;  // 'RLPJ'

// A Handle released when the holder goes.
struct Owned {
    Handle h = FmNewHandle(0);
    ~Owned() {
        if (h) FmDisposeHandle(h);
    }
};

int32_t clipAt(Handle list, uint32_t i) {
    int32_t id;
    std::memcpy(&id, *list + i * 4, 4);
    return id;
}

// Writes the media sections of every clip in the list; 0 or the error.
OSErr writeProject(const std::string& path, Handle clips) {
    OSErr err = noErr;
    ProjBufHand out = CreateProjBufHandSafe(path.c_str(), kProjBufSize, &err);
    if (!out) return err ? err : OSErr(memFullErr);
    Owned files;
    FmProjHeader header{kSignature, kProjCurrentVersion, 0, kProjPlatformOwn};
    err = WriteProjHeader(out, &header);
    if (!err) err = SaveClips(out, clips, files.h);
    if (!err) err = SaveFiles(out, files.h);
    if (!err) err = SaveClipTitles(out, clips);
    if (!err) err = SaveClipMarkers(out, clips);
    if (err) {
        DiscardProjBufHand(out);
        return err;
    }
    return CloseProjBufHand(out);
}

struct LoadedProject {
    Owned fileMap, clipMap;
    int32_t version = 0;
    int32_t markerCount = 0;
    Handle markers = nullptr;
    ~LoadedProject() {
        if (!markers) return;
        auto* m = reinterpret_cast<FmTimeLineMarker*>(*markers);
        for (int32_t i = 0; i < markerCount; ++i)
            for (uint32_t w : m[i].text)
                if (Handle h = WordToHandle(w)) FmDisposeHandle(h);
        FmDisposeHandle(markers);
    }
};

// Reads the media sections of a project; 0 or the error (printed).
OSErr readProject(const std::string& path, LoadedProject& p) {
    FileRef ref = -1;
    OSErr err = HOpen(0, 0, path.c_str(), fsRdPerm, &ref);
    if (err != noErr) {
        std::fprintf(stderr, "reelhost: cannot open %s (error %d)\n", path.c_str(), err);
        return err;
    }
    ProjBufHand in = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    if (CheckProjBufHand(in) != noErr) {
        FSClose(ref);
        std::fprintf(stderr, "reelhost: out of memory reading %s\n", path.c_str());
        return memFullErr;
    }
    FmProjHeader header{};
    err = ReadProjHeader(in, &header);
    if (err) {
        std::fprintf(stderr, "reelhost: %s has no project header\n", path.c_str());
    } else {
        p.version = header.version;
        reinterpret_cast<ProjBufRecord*>(*in)->platform = header.platform;
        const TDB base{0, 30, 1};
        const char* step = "files";
        err = LoadFiles(in, p.fileMap.h, 0, 0, p.version);
        if (!err) step = "clips", err = LoadClips(in, p.clipMap.h, p.fileMap.h, &base, p.version);
        if (!err) step = "clip titles", err = LoadClipTitles(in, p.clipMap.h);
        if (!err) step = "clip markers", err = LoadClipMarkers(in, p.clipMap.h);
        if (!err)
            step = "time-line markers",
            err = LoadTimeLineMarkers(in, &p.markerCount, &p.markers, p.version);
        if (err)
            std::fprintf(stderr, "reelhost: cannot read the %s of %s (error %d)\n", step,
                         path.c_str(), err);
    }
    CloseProjBufHand(in);
    FSClose(ref);
    return err;
}

// The loaded clips in the order the project stored them.
void loadedClips(const LoadedProject& p, Handle list) {
    const uint32_t n = FmGetHandleSize(p.clipMap.h) / 8;
    for (uint32_t i = 0; i < n; ++i) AddToClipList(list, clipAt(p.clipMap.h, i * 2 + 1));
}

int runSave() {
    Owned clips;
    for (const std::string& given : args.media) {
        // Projects name their files by full path.
        char full[PATH_MAX];
        const std::string media = realpath(given.c_str(), full) ? std::string(full) : given;
        if (media.size() >= sizeof(FSSpec{}.name)) {
            std::fprintf(stderr, "reelhost: the path of %s is too long\n", given.c_str());
            return 1;
        }
        const int16_t id = AddFile(media.c_str(), 0, 0, 0);
        FmMediaInfo info{};
        if (!id || GetInfo(id, &info, 0) != noErr || !(info.mediaFlags & 3)) {
            std::fprintf(stderr, "reelhost: cannot read %s as media\n", media.c_str());
            return 1;
        }
        const int32_t clip = NewClip(id, nullptr, info.mediaFlags & 3);
        if (clip <= 0) {
            std::fprintf(stderr, "reelhost: cannot make a clip of %s\n", media.c_str());
            return 1;
        }
        AddToClipList(clips.h, clip);
    }
    OSErr err = writeProject(args.path, clips.h);
    if (err) {
        std::fprintf(stderr, "reelhost: cannot save %s (error %d)\n", args.path.c_str(), err);
        return 1;
    }
    std::printf("saved %s: %s\n", args.path.c_str(),
                host::countText(FmGetHandleSize(clips.h) / 4, "clip").c_str());
    return 0;
}

int runLoad() {
    LoadedProject p;
    if (readProject(args.path, p)) return 1;
    const uint32_t files = FmGetHandleSize(p.fileMap.h) / 8;
    const uint32_t clips = FmGetHandleSize(p.clipMap.h) / 8;
    std::printf("loaded %s (version %d): %s, %s, %s\n", args.path.c_str(), p.version,
                host::countText(files, "file").c_str(), host::countText(clips, "clip").c_str(),
                host::countText(uint64_t(p.markerCount), "time-line marker").c_str());
    if (args.saveTo.empty()) return 0;
    Owned list;
    loadedClips(p, list.h);
    OSErr err = writeProject(args.saveTo, list.h);
    if (err) {
        std::fprintf(stderr, "reelhost: cannot save %s (error %d)\n", args.saveTo.c_str(), err);
        return 1;
    }
    std::printf("saved %s\n", args.saveTo.c_str());
    return 0;
}

int runInfo() {
    LoadedProject p;
    if (readProject(args.path, p)) return 1;
    const uint32_t files = FmGetHandleSize(p.fileMap.h) / 8;
    std::printf("%s: version %d\n", args.path.c_str(), p.version);
    std::printf("%s\n", host::countText(files, "file").c_str());
    for (uint32_t i = 0; i < files; ++i) {
        const int16_t id = int16_t(clipAt(p.fileMap.h, i * 2 + 1));
        const Handle h = FindFile(id);
        if (!h) continue;
        const FmFileRecord* r = reinterpret_cast<const FmFileRecord*>(*h);
        std::printf("  file %d (stored as %d): %s%s\n", id, clipAt(p.fileMap.h, i * 2),
                    r->spec.name, r->offline ? " [missing: offline]" : "");
    }
    Owned list;
    loadedClips(p, list.h);
    const uint32_t clips = FmGetHandleSize(list.h) / 4;
    std::printf("%s\n", host::countText(clips, "clip").c_str());
    for (uint32_t i = 0; i < clips; ++i) {
        const int32_t id = clipAt(list.h, i);
        char title[32];
        int16_t isTitle = 0;
        GetClipTitle(id, title, &isTitle);
        std::printf("  clip %d: file %d, %d to %d, \"%s\"", id, ClipFile(id),
                    GetClipIn(id, nullptr), GetClipOut(id, nullptr), title);
        int32_t markers = 0;  // numbered markers that are set, and the extra ones
        for (int32_t k = 2; k < kClipFixedMarkers; ++k)
            markers += FmGetClipMarker(id, k, nullptr) != -1;
        for (int32_t k = kClipFixedMarkers; k < FmCountClipMarkers(id); ++k)
            markers += FmGetClipMarker(id, k, nullptr) != -1;
        if (markers > 0) std::printf(", %s", host::countText(uint64_t(markers), "marker").c_str());
        std::printf("\n");
    }
    std::printf("%s\n", host::countText(uint64_t(p.markerCount), "time-line marker").c_str());
    for (int32_t i = 0; i < p.markerCount; ++i)
        std::printf("  marker at %d\n", reinterpret_cast<FmTimeLineMarker*>(*p.markers)[i].time);
    return 0;
}

int run() {
    if (args.action == "save" || args.action == "load" || args.action == "info")
        registerImporters();
    if (args.action == "save") return runSave();
    if (args.action == "load") return runLoad();
    if (args.action == "info") return runInfo();
    const std::string& path = args.path;
    FileRef ref = -1;
    OSErr err = HOpen(0, 0, path.c_str(), fsRdPerm, &ref);
    if (err != noErr) {
        std::fprintf(stderr, "reelhost: cannot open %s (error %d)\n", path.c_str(), err);
        return 1;
    }
    ProjBufHand stream = CreateProjBufHand(ref, kProjBufSize, kProjModeRead);
    if (CheckProjBufHand(stream) != noErr) {
        std::fprintf(stderr, "reelhost: out of memory reading %s\n", path.c_str());
        FSClose(ref);
        return 1;
    }
    int rc = 0;
    if (args.action == "dump") {
        int32_t count = ProjListSections(stream, printSection, nullptr);
        if (count < 0) {
            std::fprintf(stderr, "reelhost: cannot read %s (error %d)\n", path.c_str(), count);
            rc = 1;
        } else {
            std::printf("%d section%s\n", count, count == 1 ? "" : "s");
        }
    } else {
        OSType tag = 0;
        int32_t line = 0;
        const char* reason = nullptr;
        err = ProjCheckSections(stream, &tag, &line, &reason);
        if (err == noErr) {
            std::printf("%s: ok\n", path.c_str());
        } else if (err == 1) {
            if (tag)
                std::printf("%s:%d: section [%s]: %s\n", path.c_str(), line, tagText(tag).c_str(),
                            reason ? reason : "malformed");
            else
                std::printf("%s:%d: %s\n", path.c_str(), line, reason ? reason : "malformed");
            rc = 1;
        } else {
            std::fprintf(stderr, "reelhost: cannot read %s (error %d)\n", path.c_str(), err);
            rc = 1;
        }
    }
    CloseProjBufHand(stream);
    FSClose(ref);
    return rc;
}

host::Registrar projectCommand(host::Command{
    "project", "list, check, save, load or describe a project file",
    [](CLI::App& cmd) {
        cmd.require_subcommand(1);
        for (const char* action : {"dump", "check"}) {
            CLI::App* sub = cmd.add_subcommand(
                action, action[0] == 'd' ? "each tagged section: tag, line, value lines"
                                         : "FILE: ok, or the first malformed section (exit 1)");
            sub->add_option("FILE", args.path, "project or settings file")
                ->required()
                ->check(CLI::Validator(CLI::ExistingFile).description(""));
            sub->callback([action] { args.action = action; });
        }
        CLI::App* save =
            cmd.add_subcommand("save", "OUT: a project of one master clip per MEDIA file");
        save->add_option("OUT", args.path, "project file to write")->required();
        save->add_option("MEDIA", args.media, "media files")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        save->callback([] { args.action = "save"; });
        CLI::App* load = cmd.add_subcommand(
            "load", "FILE: read its files and clips (missing files stay offline)");
        load->add_option("FILE", args.path, "project file")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        load->add_option("--save", args.saveTo, "write the loaded project to this file");
        load->callback([] { args.action = "load"; });
        CLI::App* info =
            cmd.add_subcommand("info", "FILE: its files (missing ones marked), clips and markers");
        info->add_option("FILE", args.path, "project file")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        info->callback([] { args.action = "info"; });
        for (CLI::App* sub : {save, load, info})
            sub->add_option("--plugins", args.plugins,
                            "importer folder (default: media-plug-ins beside reelhost)")
                ->check(CLI::ExistingDirectory);
    },
    run});

}  // namespace
