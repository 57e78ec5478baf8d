// `reelhost plugins [FOLDER]`: plug-in registration over a folder (by
// default the plug-ins folder beside reelhost, where the build puts the
// sample modules), listing what it found: file, kind, version, match name,
// and whether it was accepted or why not. A second run takes unchanged
// modules from the plug-in cache kept by the main window.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "host.h"
#include "reelcore/globals.h"
#include "reelcore/plugins.h"

namespace {

std::string pluginsFolder;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

std::string kindText(OSType kind) {
    if (kind == 0) return "----";
    std::string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(kind >> shift);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t;
}

// The path below the folder when it is there; links may lead elsewhere.
std::string shown(const std::string& path, const std::string& folder) {
    char real[PATH_MAX];
    const std::string base = realpath(folder.c_str(), real) ? std::string(real) + "/" : folder;
    return path.compare(0, base.size(), base) == 0 ? path.substr(base.size()) : path;
}

int runPlugins() {
    const std::string folder = pluginsFolder.empty() ? besideProgram("plug-ins") : pluginsFolder;
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
    AddPlugins();
    SetAGlobal(kSlotPluginFolder, 0);

    const int32_t count = FmGetPluginReport(-1, nullptr);
    int accepted = 0;
    std::printf("plug-in folder: %s\n", folder.c_str());
    for (int32_t i = 0; i < count; ++i) {
        FmPluginReport r;
        FmGetPluginReport(i, &r);
        const std::string version = r.version == -1 ? "-" : std::to_string(r.version);
        std::printf("  %-28s %s  version %-3s %-24s ", shown(r.path, folder).c_str(),
                    kindText(r.kind).c_str(), version.c_str(),
                    r.matchName[0] ? ("\"" + std::string(r.matchName) + "\"").c_str() : "-");
        if (r.accepted) {
            ++accepted;
            std::printf("accepted%s\n", r.fromCache ? " (from the cache)" : "");
        } else {
            std::printf("not accepted: %s\n", r.reason);
        }
    }
    int32_t loaded = 0, read = 0, cached = 0;
    FmGetPluginScanCounts(&loaded, &read, &cached);
    std::printf("%d lines, %d accepted; modules read %d, from the cache %d, loaded %d\n",
                int(count), accepted, int(read), int(cached), int(loaded));
    return 0;
}

host::Registrar pluginsCommand(host::Command{
    "plugins", "register the plug-in modules in FOLDER and list what was found",
    [](CLI::App& cmd) {
        cmd.add_option("FOLDER", pluginsFolder,
                       "plug-in folder (default: plug-ins beside reelhost)")
            ->check(CLI::ExistingDirectory);
    },
    runPlugins});

}  // namespace
