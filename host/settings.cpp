// reelhost settings show|new|check FILE.prs: a settings file's header and
// sections, a new one with the defaults, and whether one reads and how the
// installed export modules would change it. Start-up makes the project
// settings; `info` shows them.
#include <cstdio>
#include <cstring>
#include <string>

#include "host.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/prefs.h"
#include "reelcore/settings.h"
#include "reelcore/struct_codec.h"

namespace {

std::string codeText(OSType c) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char ch = char(c >> shift);
        out += (ch >= 0x20 && ch < 0x7F) ? ch : '?';
    }
    return out;
}

const char* readError(OSErr err) {
    switch (err) {
        case fnfErr:
            return "file not found";
        case kStructNotFound:
            return "a section is missing";
        case kStructShort:
            return "a section ends early";
        case kStructBadValue:
            return "a value does not match its size";
        case kPsetBadFile:
            return "zero or negative frame size or time base";
        case memFullErr:
            return "out of memory";
        default:
            return "cannot be read";
    }
}

const char* kindName(int32_t kind) {
    switch (kind) {
        case kPsetKindMovie:
            return "movie";
        case kPsetKindStill:
            return "still";
        case kPsetKindAudio:
            return "audio";
        case kPsetKindCustom:
            return "custom";
        default:
            return "other";
    }
}

void printBlock(FILE* out, const PsetBlock& s) {
    const PsetGeneral& g = s.general;
    const PsetVideo& v = s.video;
    const PsetAudio& a = s.audio;
    std::fprintf(out, "  export: %s/%s, video %s, audio %s, range %d%s\n",
                 codeText(g.filetype).c_str(), codeText(g.classid).c_str(),
                 g.dovideo ? "on" : "off", g.doaudio ? "on" : "off", int(g.range),
                 g.openwhendone ? ", open when done" : "");
    std::fprintf(out, "  time base: %d/%d (%.3f fps), display format 0x%X, length %d ticks\n",
                 int(g.scale), int(g.samplesize),
                 g.samplesize ? double(g.scale) / double(g.samplesize) : 0.0,
                 unsigned(g.timeformat), int(g.projectlength));
    std::fprintf(out,
                 "  video: %s %dx%d at %d/%d, depth bit %d, quality %d, field type %d, "
                 "pixel aspect %u:%u\n",
                 codeText(v.subtype).c_str(), int(v.width), int(v.height), int(v.scale),
                 int(v.samplesize), int(v.depth), int(v.quality), int(v.fieldtype),
                 unsigned(v.pixelAspect >> 16), unsigned(v.pixelAspect & 0xFFFF));
    std::fprintf(out, "  audio: %s %d Hz %s %s, interleave %d, resample quality %d%s%s\n",
                 codeText(a.subtype).c_str(), int(a.audrate), a.audsamplesize ? "16-bit" : "8-bit",
                 a.audstereo ? "stereo" : "mono", int(a.interleave), int(a.resampleQ),
                 a.dither ? ", dither" : "", a.logfade ? ", log fades" : "");
    std::fprintf(out, "  data rate: %d, keyframe every %d, recompress %s\n",
                 int(s.dataRate.datarate), int(s.keyFrames.keyframeevery),
                 s.dataRate.forcerecomp && !s.dataRate.usecomppct ? "always" : "as needed");
    std::fprintf(out, "  crop: %d %d %d %d\n", int(s.special.cropleft), int(s.special.croptop),
                 int(s.special.cropright), int(s.special.cropbottom));
    std::fprintf(out, "  capture: %s/%s %dx%d at %d/%d, audio %s %d Hz, video %s, audio %s\n",
                 codeText(s.capture.filetype).c_str(), codeText(s.capture.classID).c_str(),
                 int(s.capture.width), int(s.capture.height), int(s.capture.scale),
                 int(s.capture.samplesize), codeText(s.capture.subtype).c_str(),
                 int(s.capture.audrate), s.capture.capvid ? "on" : "off",
                 s.capture.capaud ? "on" : "off");
    if (s.captureInfo.capinfovalid)
        std::fprintf(out, "  capture format: %s, depth bit %d, quality %d\n",
                     codeText(s.captureInfo.capvidsubtype).c_str(), int(s.captureInfo.capdepth),
                     int(s.captureInfo.capquality));
    else
        std::fprintf(out, "  capture format: not yet known\n");
    if (s.device.devname[0]) std::fprintf(out, "  device: %.31s\n", s.device.devname);
    struct {
        const char* name;
        Ptr p;
    } owned[] = {{"exporter", g.compilerprefs},
                 {"playback", g.playmodprefs},
                 {"video compressor", v.subtypeprefs},
                 {"audio compressor", a.subtypeprefs},
                 {"capture", s.capture.capprefs}};
    for (const auto& o : owned)
        if (o.p) std::fprintf(out, "  %s settings: %u bytes\n", o.name, unsigned(GetPtrSize(o.p)));
}

struct {
    std::string action;
    std::string path;
    std::string standard = "resources";
    std::string description;
    int64_t kind = kPsetKindMovie;
} args;

int runShow() {
    OSErr err = noErr;
    Handle h = psetReadSettingsFile(args.path.c_str(), &err);
    if (!h) {
        std::fprintf(stderr, "%s: %s (error %d)\n", args.path.c_str(), readError(err), err);
        return 1;
    }
    int32_t kind = 0;
    char description[1024];
    std::printf("%s\n", args.path.c_str());
    if (psetReadSettingsFileHeader(args.path.c_str(), &kind, description, sizeof description) ==
        noErr)
        std::printf("  kind: %d (%s)\n  description: %s\n", int(kind), kindName(kind), description);
    else
        std::printf("  (no settings-file header)\n");
    printBlock(stdout, *psetGetBlock(h));
    psetDisposeSettings(h);
    return 0;
}

int runNew() {
    Handle h = args.standard == "pal"    ? psetNewStandardSettings(1)
               : args.standard == "ntsc" ? psetNewStandardSettings(0)
                                         : psetNewDefaultSettings();
    if (!h) {
        std::fprintf(stderr, "reelhost: out of memory\n");
        return 1;
    }
    OSErr err =
        psetWriteSettingsFile(args.path.c_str(), h, args.description.c_str(), int32_t(args.kind));
    psetDisposeSettings(h);
    if (err) {
        std::fprintf(stderr, "%s: cannot write (error %d)\n", args.path.c_str(), err);
        return 1;
    }
    std::printf("wrote %s\n", args.path.c_str());
    return 0;
}

int runCheck() {
    OSErr err = noErr;
    Handle h = psetReadSettingsFile(args.path.c_str(), &err);
    if (!h) {
        std::printf("%s: %s (error %d)\n", args.path.c_str(), readError(err), err);
        return 1;
    }
    int32_t kind = kPsetKindMovie;
    psetReadSettingsFileHeader(args.path.c_str(), &kind, nullptr, 0);
    const PsetBlock before = *psetGetBlock(h);
    psetValidateProjectSettings(h, kind);
    const PsetBlock& after = *psetGetBlock(h);
    std::printf("%s: ok\n", args.path.c_str());
    if (after.general.filetype != before.general.filetype ||
        after.general.classid != before.general.classid)
        std::printf("  exporter %s/%s is not installed for %s exports; %s/%s would be used\n",
                    codeText(before.general.filetype).c_str(),
                    codeText(before.general.classid).c_str(), kindName(kind),
                    codeText(after.general.filetype).c_str(),
                    codeText(after.general.classid).c_str());
    else if (before.general.compilerprefs && !after.general.compilerprefs)
        std::printf("  exporter %s/%s is not installed\n",
                    codeText(before.general.filetype).c_str(),
                    codeText(before.general.classid).c_str());
    if (after.video.width != before.video.width || after.video.height != before.video.height ||
        after.video.depth != before.video.depth || after.video.subtype != before.video.subtype)
        std::printf("  video would become %s %dx%d, depth bit %d\n",
                    codeText(after.video.subtype).c_str(), int(after.video.width),
                    int(after.video.height), int(after.video.depth));
    if (after.audio.audrate != before.audio.audrate ||
        after.audio.audsamplesize != before.audio.audsamplesize ||
        after.audio.audstereo != before.audio.audstereo)
        std::printf("  audio would become %d Hz %s %s\n", int(after.audio.audrate),
                    after.audio.audsamplesize ? "16-bit" : "8-bit",
                    after.audio.audstereo ? "stereo" : "mono");
    psetDisposeSettings(h);
    return 0;
}

int run() {
    if (args.action == "show") return runShow();
    if (args.action == "new") return runNew();
    return runCheck();
}

bool startSettings(const host::Options&) {
    return InitProjectSettings() != nullptr;
}

void printSettings(FILE* out) {
    std::fprintf(out, "project settings (slot %d):\n", int(kSlotProjectSettings));
    if (const PsetBlock* s = psetGetBlock(nullptr))
        printBlock(out, *s);
    else
        std::fprintf(out, "  (none)\n");
    char folder[260];
    std::fprintf(out, "settings folder: %s\n", psetGetSettingsFolder(folder) ? folder : "(none)");
    char prefs[kPrefsPathSize];
    std::fprintf(out, "preferences file: %s\n", FmGetPrefsPath(prefs) ? prefs : "(none)");
}

host::Registrar step(host::Step{600, "project settings", startSettings, [] { psetShutdown(); }});
host::Registrar info(host::InfoSection{600, printSettings});

host::Registrar settingsCommand(host::Command{
    "settings", "show a settings file (.prs), write a new one, or check one",
    [](CLI::App& cmd) {
        cmd.require_subcommand(1);
        CLI::App* show = cmd.add_subcommand("show", "the header and every section, summarised");
        show->add_option("FILE", args.path, "settings file")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        show->callback([] { args.action = "show"; });

        CLI::App* create = cmd.add_subcommand("new", "a settings file with the default settings");
        create->add_option("FILE", args.path, "settings file to write")->required();
        create->add_option("--standard", args.standard, "TV standard of the defaults")
            ->check(CLI::IsMember({"ntsc", "pal", "resources"}))
            ->default_str("resources");
        create->add_option("--description", args.description, "the file's description");
        host::addInteger(*create, "--kind", args.kind, 1, 5,
                         "settings kind: 1 movie, 2 still, 3 audio, 4 custom, 5 project");
        create->callback([] { args.action = "new"; });

        CLI::App* check = cmd.add_subcommand(
            "check",
            "FILE: ok, and what the installed export modules would change (exit 1 when "
            "it can't be read)");
        check->add_option("FILE", args.path, "settings file")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        check->callback([] { args.action = "check"; });
    },
    run});

}  // namespace
