// `reelhost probe FILE [--frame OUT.png] [--plugins FOLDER]`: what the library
// learns about a media file. The importers and drawing handlers are
// registered from FOLDER (by default the media-plug-ins and plug-ins folders
// beside reelhost); the file is added to the file table and described by
// whichever handler reads its type. --frame writes its first frame.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/plugins.h"
#include "reelcore/pworld.h"

namespace {

struct {
    std::string file;
    std::string frame;
    std::string plugins;
} probeArgs;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    const std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

std::string codeText(OSType code) {
    if (code == 0) return "none";
    std::string t = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(code >> shift);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t + "'";
}

void registerFolders() {
    std::vector<std::string> folders;
    if (!probeArgs.plugins.empty())
        folders.push_back(probeArgs.plugins);
    else
        folders = {besideProgram("media-plug-ins"), besideProgram("plug-ins")};
    for (const std::string& folder : folders) {
        if (access(folder.c_str(), R_OK) != 0) continue;
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
        AddPlugins();
        SetAGlobal(kSlotPluginFolder, 0);
    }
}

// Where the handler's code lives: a module's path, or built in.
std::string handlerText(OSType handler) {
    if (handler == 0) return "none";
    const bool importer = ImporterExists(handler);
    const intptr_t slot = importer ? kSlotImporterTable : kSlotMethodTable;
    Handle table = reinterpret_cast<Handle>(GetAGlobal(int32_t(slot)));
    int16_t module = 0;
    if (table) LookupMethod(handler, table, 0, &module);
    std::string where = "built in";
    if (Handle h = module ? FindFile(module) : nullptr)
        where = reinterpret_cast<const FmFileRecord*>(*h)->spec.name;
    std::string text = codeText(handler) + (importer ? " (importer, " : " (drawing handler, ");
    if (importer && importerIsSynthetic(handler)) text += "synthetic, ";
    return text + where + ")";
}

void printInfo(const FmMediaInfo& info) {
    const int32_t w = info.frame.right - info.frame.left, h = info.frame.bottom - info.frame.top;
    if (info.mediaFlags & 1) {
        const TDB& v = info.video;
        const double fps = v.samp > 0 ? double(v.scale) / v.samp : 0;
        std::printf("video: %dx%d, depth %d, %d frames at %.3f fps (time record %d/%d/%d)\n", w, h,
                    int(info.depth), v.samp > 0 ? int(v.value / v.samp) : 0, fps, int(v.value),
                    int(v.scale), int(v.samp));
        const uint32_t par = uint32_t(info.pixelAspect);
        std::printf("picture: pixel aspect %u:%u, alpha code %d, field type %d\n", par >> 16,
                    par & 0xFFFF, int(info.alphaType), int(info.fieldType));
    }
    if (info.mediaFlags & 2) {
        const TDB& a = info.audio;
        std::printf("audio: %d Hz, %s %s, %d sample frames\n", int(a.scale),
                    (info.audioFormat & 0x200) ? "16-bit" : "8-bit",
                    (info.audioFormat & 0x100) ? "stereo" : "mono", int(a.value));
    }
    if (!(info.mediaFlags & 3)) std::printf("media: neither pictures nor sound\n");
    // The field may be full: print no more than it holds.
    if (info.timecode[0]) std::printf("timecode: %.*s\n", int(sizeof info.timecode), info.timecode);
    std::printf("length: no duration %d, frame store %d, default still length %d, time format %d\n",
                int(info.noDuration), int(info.isFramestore), int(info.defaultStillLength),
                int(info.timeFormat));
}

int writeFirstFrame(int16_t id, const FmMediaInfo& info) {
    const int32_t w = info.frame.right - info.frame.left, h = info.frame.bottom - info.frame.top;
    if (!(info.mediaFlags & 1) || w <= 0 || h <= 0) {
        std::fprintf(stderr, "probe: %s has no pictures\n", probeArgs.file.c_str());
        return 1;
    }
    PWorld world = 0;
    const FmRect bounds{0, 0, w, h};
    if (NewPWorld(&world, &bounds) != 0) {
        std::fprintf(stderr, "probe: no memory for a %dx%d picture\n", w, h);
        return 1;
    }
    const TDB first{0, info.video.scale, info.video.samp};
    const OSErr err = GetVideo(&first, id, world, &bounds, 32, 0);
    int status = 0;
    if (err != 0) {
        std::fprintf(stderr, "probe: the first frame could not be read (error %d)\n", int(err));
        status = 1;
    } else if (host::writePicture(pwGetPPix(world), probeArgs.frame) != 0) {
        std::fprintf(stderr, "probe: cannot write %s\n", probeArgs.frame.c_str());
        status = 1;
    } else {
        std::printf("first frame: %s\n", probeArgs.frame.c_str());
    }
    DisposePWorld(world);
    return status;
}

int runProbe() {
    registerFolders();
    char real[PATH_MAX];
    const std::string path = realpath(probeArgs.file.c_str(), real) ? real : probeArgs.file;
    const int16_t id = AddFile(path.c_str(), 0, 0, 0);
    Handle h = id ? FindFile(id) : nullptr;
    if (!h) {
        std::fprintf(stderr, "probe: %s could not be added to the file table\n", path.c_str());
        return 1;
    }
    const auto* r = reinterpret_cast<const FmFileRecord*>(*h);
    const OSType type = r->type, handler = r->handler;
    std::printf("file: %s\n", path.c_str());
    std::printf("type: %s\n", codeText(type).c_str());
    std::printf("handler: %s\n", handlerText(handler).c_str());
    FmMediaInfo info{};
    const OSErr err = GetInfo(id, &info, 1);
    if (err != 0) {
        std::printf("information: none (error %d)\n", int(err));
        FileCancel(id);
        return 1;
    }
    // The handler may have changed on open (a declining importer).
    if (const FmFileRecord* now = reinterpret_cast<const FmFileRecord*>(*FindFile(id));
        now->handler != handler)
        std::printf("read by: %s\n", handlerText(now->handler).c_str());
    printInfo(info);
    const int status = probeArgs.frame.empty() ? 0 : writeFirstFrame(id, info);
    FileCancel(id);
    return status;
}

host::Registrar probeCommand(host::Command{
    "probe", "describe a media file: its handler, its information and (--frame) its first frame",
    [](CLI::App& cmd) {
        cmd.add_option("FILE", probeArgs.file, "the media file")
            ->required()
            ->check(CLI::ExistingFile);
        host::addOutputPicture(cmd, "--frame", probeArgs.frame);
        cmd.add_option("--plugins", probeArgs.plugins,
                       "folder of importer modules (default: media-plug-ins and plug-ins beside "
                       "reelhost)")
            ->check(CLI::ExistingDirectory);
    },
    runProbe});

}  // namespace
