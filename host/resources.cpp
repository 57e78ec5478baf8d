// Start-up of the resource files and the resource part of `reelhost info`,
// plus commands that read strings and expand templates.
#include <cstdlib>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/alerts.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

host::Registrar resourcesStep(host::Step{
    200, "resource files", [](const host::Options&) { return InitResMgr(nullptr) != -1; },
    nullptr});

void printResources(FILE* out) {
    const int32_t count = FmGetResFileInfo(-1, nullptr);
    std::fprintf(out, "resource files: %d open, map %d of 200 entries in use\n", count,
                 FmResMapEntriesInUse());
    for (int32_t i = 0; i < count; ++i) {
        FmResFileInfo f{};
        FmGetResFileInfo(i, &f);
        std::fprintf(out, "  %d%s%s: %s (%u resources, %u strings)\n", f.ref,
                     f.isDefault ? " default" : "", f.isCurrent ? " current" : "", f.path,
                     f.resources, f.strings);
    }
    char name[64];
    GetAppName(name);
    std::fprintf(out, "application name: %s\n", name);
}

host::Registrar info(host::InfoSection{200, printResources});

int runString(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: string LIST INDEX\n");
        return 2;
    }
    char text[256] = "";
    GetIndString(text, static_cast<int16_t>(std::atoi(args[0].c_str())),
                 static_cast<int16_t>(std::atoi(args[1].c_str())));
    if (ResError() != noErr) {
        std::fprintf(stderr, "string list %s has no item %s\n", args[0].c_str(), args[1].c_str());
        return 1;
    }
    std::printf("%s\n", text);
    return 0;
}

host::Registrar stringCommand(host::Command{
    "string", "string LIST INDEX          print item INDEX of string list LIST", runString});

// Numbers become numbers, anything else a C string.
int runExpand(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 11) {
        std::fprintf(stderr, "usage: expand TEMPLATE [ARG...] (at most 10 arguments)\n");
        return 2;
    }
    intptr_t values[10] = {};
    for (size_t i = 1; i < args.size(); ++i) {
        char* end = nullptr;
        const long n = std::strtol(args[i].c_str(), &end, 10);
        values[i - 1] = (!args[i].empty() && *end == '\0')
                            ? static_cast<intptr_t>(n)
                            : reinterpret_cast<intptr_t>(args[i].c_str());
    }
    char out[kExpandStringMax];
    int32_t length = 0;
    FmDoExpandString(args[0].c_str(), -1, out, &length, values, nullptr, 0);
    std::printf("%s\n", out);
    return 0;
}

host::Registrar expandCommand(host::Command{
    "expand", "expand TEMPLATE [ARG...]   expand a message template (^0 /1 ...)", runExpand});

}  // namespace
