// `reelhost render TIMELINE.otio FRAME OUT.png`: one frame of a timeline
// through the effect rendering core (A and B, the transition, filters,
// keyed and moving superimposed items); `reelhost fxicon MODULE P/T OUT`:
// a transition module's icon at progress P of T.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host.h"
#include "otio.h"
#include "otio_effects.h"
#include "otio_tracks.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/render.h"

namespace {

struct {
    std::string timeline, out, field, module, at;
    int64_t frame = 0;
    host::Size size;
} args;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

void loadImporters() {
    const std::string folder = besideProgram("media-plug-ins");
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
    AddPlugins();
    SetAGlobal(kSlotPluginFolder, 0);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "reelhost: %s\n", message.c_str());
    return 1;
}

int runRender() {
    loadImporters();
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    if (!otio::readFile(args.timeline, t, error, notes)) return fail(error);
    const std::string base = std::filesystem::path(args.timeline).parent_path().string();
    otio::LibraryTimeline lib;
    if (!lib.build(t, base.empty() ? "." : base, error)) return fail(args.timeline + ": " + error);
    // Past the last item there is nothing to render: an error, not a black
    // picture that looks like a frame.
    const int64_t end = lib.length() / std::max(1, lib.timeBase().samp);
    if (args.frame >= end)
        return fail("frame " + std::to_string(args.frame) + " is past the end of " + args.timeline +
                    (end > 0 ? " (its frames are 0 ... " + std::to_string(end - 1) + ")"
                             : " (it is empty)"));
    otio::LibraryEffects effects;
    if (!effects.attach(t, lib, besideProgram("effect-plug-ins"), error))
        return fail(args.timeline + ": " + error);
    // The files' descriptions, as a project has them once files are added.
    for (int16_t id = 1; id < 256; ++id) {
        FmMediaInfo info{};
        if (FindFile(id)) GetInfo(id, &info, 0);
    }
    const FmRect frame{0, 0, args.size.width > 0 ? args.size.width : 320,
                       args.size.height > 0 ? args.size.height : 240};
    Handle context = NewHandleClear(sizeof(FmRenderContext));
    PPixHand scratch = nullptr;
    if (!context || SequenceSetup(context, &scratch, &frame) != 0) return fail("out of memory");
    int32_t flags = 0x20;
    if (args.field == "upper") flags |= kRenderUpperField;
    if (args.field == "lower") flags |= kRenderLowerField;
    const TDB tdb = lib.timeBase();
    const int64_t ticks = args.frame * tdb.samp;
    EffectFrame(context, 1, int32_t(ticks), &tdb, &frame, flags,
                kRenderOptKeying | kRenderOptFilters, lib.table(), 0, nullptr);
    PPixHand out = reinterpret_cast<FmRenderContext*>(*context)->destination;
    const int32_t err = host::writePicture(out, args.out);
    SequenceCleanup(context, scratch);
    DisposeHandle(context);
    if (err) return fail("cannot write " + args.out + " (" + std::to_string(err) + ")");
    std::printf("frame %lld of %s (%dx%d) -> %s\n", static_cast<long long>(args.frame),
                args.timeline.c_str(), int(frame.right), int(frame.bottom), args.out.c_str());
    return 0;
}

int runFxIcon() {
    int64_t part = 0, total = 0;
    const size_t slash = args.at.find('/');
    if (slash == std::string::npos || !host::parseDecimal(args.at.substr(0, slash), part) ||
        !host::parseDecimal(args.at.substr(slash + 1), total) || total <= 0 || part < 0 ||
        part > total || total > INT32_MAX)
        throw CLI::ValidationError("P/T", "'" + args.at + "' is not PART/TOTAL (0 <= P <= T)");
    std::string path = args.module;
    if (path.find('/') == std::string::npos)
        path = besideProgram("effect-plug-ins") + "/" + args.module + ".fmx";
    // The file table takes paths of files that are not there (offline
    // media), so a missing module would otherwise draw an empty icon.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return fail("no transition module at \"" + path + "\"");
    const int16_t id = AddFile(path.c_str(), 0, 0, 0x53504658);  // 'SPFX'
    if (id <= 0) return fail("\"" + path + "\" cannot be registered");
    FileSubscribe(id);
    PlugVersionCheck(id, 0x53504658);
    TransitionSettings s{};
    s.endPercent = 10000;
    PPixHand icon = MakeFXIcon(id, int32_t(part), int32_t(total), &s, 0);
    if (!icon) return fail("no icon could be made");
    const int32_t err = host::writePicture(icon, args.out);
    ppixDispose(icon);
    if (err) return fail("cannot write " + args.out);
    std::printf("icon of %s at %lld/%lld -> %s\n", path.c_str(), static_cast<long long>(part),
                static_cast<long long>(total), args.out.c_str());
    return 0;
}

host::Registrar renderCommand(host::Command{
    "render", "render frame FRAME of a timeline (.otio) into a picture",
    [](CLI::App& cmd) {
        cmd.add_option("TIMELINE", args.timeline, "OpenTimelineIO file (.otio)")
            ->required()
            ->check(CLI::ExistingFile);
        host::addInteger(cmd, "FRAME", args.frame, 0, INT32_MAX / 1000, "frame number")->required();
        host::addOutputPicture(cmd, "OUT", args.out);
        host::addSize(cmd, "--size", args.size, 2, 8192, "WIDTHxHEIGHT (default 320x240)");
        cmd.add_option("--field", args.field, "field rendering, upper or lower field first")
            ->check(CLI::IsMember({"upper", "lower"}));
    },
    runRender});

host::Registrar fxiconCommand(host::Command{
    "fxicon", "draw a transition module's 32 x 32 icon at progress P/T",
    [](CLI::App& cmd) {
        cmd.add_option("MODULE", args.module,
                       "module file, or a name in effect-plug-ins beside reelhost")
            ->required();
        cmd.add_option("P/T", args.at, "progress, e.g. 1/2")->required();
        host::addOutputPicture(cmd, "OUT", args.out);
    },
    runFxIcon});

}  // namespace
