// Start-up of the resource files and the resource part of `reelhost info`,
// plus commands that read strings and expand templates.
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/alerts.h"
#include "reelcore/globals.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

// The library's own resources are the default resource file; slot 230 (the
// resource instance) names it for code that must make it current again.
host::Registrar resourcesStep(host::Step{200, "resource files",
                                         [](const host::Options&) {
                                             const ResFileRef ref = InitResMgr(nullptr);
                                             if (ref == -1) return false;
                                             SetAGlobal(kSlotResInst, ref);
                                             return true;
                                         },
                                         [] { SetAGlobal(kSlotResInst, 0); }});

void printResources(FILE* out) {
    const int32_t count = FmGetResFileInfo(-1, nullptr);
    std::fprintf(out, "resource files: %d open, map %d of 200 entries in use\n", count,
                 FmResMapEntriesInUse());
    for (int32_t i = 0; i < count; ++i) {
        FmResFileInfo f{};
        FmGetResFileInfo(i, &f);
        std::fprintf(out, "  %d%s%s: %s (%s, %s)\n", f.ref, f.isDefault ? " default" : "",
                     f.isCurrent ? " current" : "", f.path,
                     host::countText(f.resources, "resource").c_str(),
                     host::countText(f.strings, "string").c_str());
    }
    std::fprintf(out, "resource instance (slot 230): %d\n", int(GetResInst()));
    char name[64];
    GetAppName(name);
    std::fprintf(out, "application name: %s\n", name);
}

host::Registrar info(host::InfoSection{200, printResources});

struct {
    int64_t list = 0, index = 0;
} stringArgs;

int runString() {
    char text[256] = "";
    GetIndString(text, int16_t(stringArgs.list), int16_t(stringArgs.index));
    if (ResError() != noErr) {
        std::fprintf(stderr, "string list %d has no item %d\n", int(stringArgs.list),
                     int(stringArgs.index));
        return 1;
    }
    std::printf("%s\n", text);
    return 0;
}

host::Registrar stringCommand(host::Command{
    "string", "print an item of one of the library's string lists",
    [](CLI::App& cmd) {
        host::addInteger(cmd, "LIST", stringArgs.list, INT16_MIN, INT16_MAX, "string list ID")
            ->required();
        host::addInteger(cmd, "INDEX", stringArgs.index, 1, INT16_MAX, "item, from 1")->required();
    },
    runString});

// What each argument of a template must be, from the marker that takes it:
// ^ & } % take a number, / takes text.
enum class ArgKind { Unused, Number, Text };

struct {
    std::string tmpl;
    std::vector<std::string> values;
    int64_t list = 0;
    intptr_t words[10] = {};
} expandArgs;

// Reads the template's markers and types each argument by them; a
// conflicting or missing argument is a usage error.
void checkExpandArgs() {
    const std::string& t = expandArgs.tmpl;
    ArgKind kinds[10] = {};
    char usedBy[10] = {};
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        const char c = t[i];
        if (!std::strchr("^/&}%", c)) continue;
        if (t[i + 1] == c) {  // a doubled marker is the marker itself
            ++i;
            continue;
        }
        if (t[i + 1] < '0' || t[i + 1] > '9') continue;
        const int d = t[i + 1] - '0';
        const ArgKind kind = c == '/' ? ArgKind::Text : ArgKind::Number;
        if (kinds[d] != ArgKind::Unused && kinds[d] != kind) {
            const char numberMarker = c == '/' ? usedBy[d] : c;
            throw CLI::ValidationError("TEMPLATE", "argument " + std::to_string(d) +
                                                       " is taken both as text (/) and as a "
                                                       "number (" +
                                                       std::string(1, numberMarker) + ")");
        }
        kinds[d] = kind;
        usedBy[d] = c;
        ++i;
    }
    const auto& values = expandArgs.values;
    if (values.size() > 10) throw CLI::ValidationError("ARG", "at most 10 arguments");
    for (int d = 0; d < 10; ++d) {
        const bool given = size_t(d) < values.size();
        const std::string name = "argument " + std::to_string(d);
        if (kinds[d] == ArgKind::Unused) {
            if (given)
                throw CLI::ValidationError(
                    name, "'" + values[d] + "' is not used by the template (no ^" +
                              std::to_string(d) + ", /" + std::to_string(d) + " ...)");
            continue;
        }
        if (!given)
            throw CLI::ValidationError(name, std::string("the template's ") + usedBy[d] +
                                                 char('0' + d) + " needs an argument");
        if (kinds[d] == ArgKind::Text) {
            expandArgs.words[d] = reinterpret_cast<intptr_t>(values[d].c_str());
            continue;
        }
        int64_t n = 0;
        if (!host::parseDecimal(values[d], n) || n < INT32_MIN || n > INT32_MAX)
            throw CLI::ValidationError(name, std::string("the template's ") + usedBy[d] +
                                                 char('0' + d) + " takes a decimal number, not '" +
                                                 values[d] + "'");
        expandArgs.words[d] = intptr_t(n);
    }
}

int runExpand() {
    char out[kExpandStringMax];
    int32_t length = 0;
    FmDoExpandString(expandArgs.tmpl.c_str(), -1, out, &length, expandArgs.words, nullptr,
                     int32_t(expandArgs.list));
    std::printf("%s\n", out);
    return 0;
}

host::Registrar expandCommand(host::Command{
    "expand", "expand a message template",
    [](CLI::App& cmd) {
        cmd.add_option("TEMPLATE", expandArgs.tmpl,
                       "text with markers: ^d number, /d text, &d item d of the --list string "
                       "list, }d and %d timecode of ticks; ^^ gives ^")
            ->required();
        cmd.add_option("ARG", expandArgs.values, "arguments 0-9, typed by the marker taking each");
        host::addInteger(cmd, "--list", expandArgs.list, 0, INT16_MAX,
                         "string list the &d markers read");
        cmd.callback(checkExpandArgs);
    },
    runExpand});

}  // namespace
