// reelhost project dump FILE / project check FILE: the tagged sections of a
// project or settings file, and the first malformed one.
#include <cstdio>
#include <string>

#include "host.h"
#include "reelcore/files.h"
#include "reelcore/project_stream.h"

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
    std::string action;  // dump or check
    std::string path;
} args;

int run() {
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
    "project", "list the sections of a project or settings file, or check them",
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
    },
    run});

}  // namespace
