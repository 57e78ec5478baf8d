// The executable's built-in window handlers, registered with FileID 0 as the
// editor registers its own: HIDE (the hidden main window, which also keeps
// the stored preference resources of messages 103 and 104 in the user's
// cache folder), DBUG (debug text on stderr under --debug) and PBAR (a
// progress bar on stderr). Also `reelhost windows` and the handler part of
// `reelhost info`.
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "host.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/windows.h"

namespace {

constexpr intptr_t kStoreMessage = 103;
constexpr intptr_t kLoadMessage = 104;
constexpr intptr_t kProgressMessage = 56;
constexpr intptr_t kDebugText = 15;
constexpr intptr_t kDebugNumber = 16;
constexpr intptr_t kMaxStoredBytes = 64 << 20;
constexpr int kBarWidth = 40;

struct HostState {
    Handle ownTable = nullptr;  // the method table, when this step made it
    FmWindow main = 0;
    FmWindow debug = 0;
    FmWindow progress = 0;
    std::map<intptr_t, int> hideMessages;  // code -> times received
    bool progressLineOpen = false;
};

HostState& S() {
    static HostState s;
    return s;
}

// ---- stored preference resources ----

// $XDG_CACHE_HOME/reelcore or ~/.cache/reelcore; without either, a folder
// of this user's own: $XDG_RUNTIME_DIR/reelcore, else /tmp/reelcore-<uid>.
std::string cacheFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/reelcore";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.cache/reelcore";
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::string(run) + "/reelcore";
    return "/tmp/reelcore-" + std::to_string(getuid());
}

bool makeFolders(const std::string& path, mode_t mode = 0755) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), at == path.size() ? mode : 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// The stored resources are the user's: their folder is made private, and a
// folder someone else owns or others may write to is not used.
bool makePrivateFolder(const std::string& path) {
    if (!makeFolders(path, 0700)) return false;
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 022) == 0;
}

// "PlSv-1000.res"; characters that cannot be in a file name become hex.
std::string storedResourcePath(OSType type, intptr_t id) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(type >> shift);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            name += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return cacheFolder() + "/" + name + "-" + std::to_string(id) + ".res";
}

int16_t storeResource(OSType type, intptr_t id, const void* data, intptr_t size) {
    if (size < 0 || size > kMaxStoredBytes || (size > 0 && !data)) return 1;
    if (!makePrivateFolder(cacheFolder())) return 1;
    std::string path = storedResourcePath(type, id);
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return 1;
    bool ok = std::fwrite(data, 1, size_t(size), f) == size_t(size);
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}

// Copies up to `size` stored bytes into the buffer; the rest is cleared.
int16_t loadResource(OSType type, intptr_t id, void* buffer, intptr_t size) {
    if (size < 0 || (size > 0 && !buffer)) return 1;
    if (!makePrivateFolder(cacheFolder())) return 1;
    FILE* f = std::fopen(storedResourcePath(type, id).c_str(), "rb");
    if (!f) return 1;
    size_t got = std::fread(buffer, 1, size_t(size), f);
    std::fclose(f);
    std::memset(static_cast<char*>(buffer) + got, 0, size_t(size) - got);
    return 0;
}

// ---- handlers ----

FmWindow openWindow(FmWindow parent, OSType type, const char* title, bool visible) {
    FmRect rect{0, 0, type == kHandlerPBAR ? 320 : 640, type == kHandlerPBAR ? 24 : 480};
    FmWindow w = FmWndCreate(parent, &rect, title, nullptr, visible);
    if (!w) return 0;
    Handle data = NewWData(w);
    if (!data) {
        FmWndDestroy(w);
        return 0;
    }
    std::memcpy(*data + 4, &type, 4);
    return w;
}

int16_t hideNew(const char*, intptr_t, intptr_t, FmWindow* window) {
    *window = openWindow(0, kHandlerHIDE, "Reelcore", false);
    return *window ? 0 : 1;
}

int16_t plainDispose(FmWindow window) {
    DisposWData(window);
    return FmWndDestroy(window) == 0 ? 0 : 1;
}

int16_t hideMessage(FmWindow, intptr_t* block) {
    ++S().hideMessages[block[0]];
    auto type = OSType(block[1]);
    switch (block[0]) {
        case kStoreMessage:
            return storeResource(type, block[2], reinterpret_cast<const void*>(block[3]), block[4]);
        case kLoadMessage:
            return loadResource(type, block[2], reinterpret_cast<void*>(block[3]), block[4]);
        default:
            return 0;
    }
}

int16_t debugNew(const char*, intptr_t, intptr_t, FmWindow* window) {
    *window = openWindow(S().main, kHandlerDBUG, "Debug", false);
    return *window ? 0 : 1;
}

int16_t debugMessage(FmWindow, intptr_t* block) {
    if (block[0] == kDebugNumber) {
        std::fprintf(stderr, "%" PRIdPTR, block[1]);
    } else if (block[0] == kDebugText && block[1]) {
        const auto* text = reinterpret_cast<const unsigned char*>(block[1]);
        if (text[0] == 4) {
            std::fwrite(text + 1, 1, 4, stderr);  // a four-character code
        } else {
            for (; *text; ++text)
                if (*text >= 0x20 || *text == '\n' || *text == '\t') std::fputc(*text, stderr);
        }
    }
    return 0;
}

int16_t progressNew(const char*, intptr_t, intptr_t, FmWindow* window) {
    *window = openWindow(S().main, kHandlerPBAR, "Progress", false);
    return *window ? 0 : 1;
}

// Message 56 {done, total}: the bar on stderr, and drawn into the window.
int16_t progressMessage(FmWindow window, intptr_t* block) {
    if (block[0] != kProgressMessage) return 0;
    intptr_t done = block[1], total = block[2];
    if (total <= 0 || done < 0) return 1;
    if (done > total) done = total;
    int filled = int(done * kBarWidth / total);
    int percent = int(done * 100 / total);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                 "========================================", kBarWidth - filled, "", percent);
    S().progressLineOpen = done < total;
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);

    int32_t width = 0, height = 0;
    FmWndGetSurfaceSize(window, &width, &height);
    FmRect all{0, 0, width, height};
    FmRect bar{0, 0, int32_t(int64_t(width) * done / total), height};
    FmWndFillRect(window, &all, 0x00404040);
    FmWndFillRect(window, &bar, 0x0000C000);
    FmWndUpdate(window);
    return 0;
}

// ---- start-up ----

bool addHandler(Handle table, OSType type, HandlerNewProc create, HandlerMessageProc message) {
    void* procs[kHandlerProcCount] = {reinterpret_cast<void*>(create),
                                      reinterpret_cast<void*>(plainDispose),
                                      reinterpret_cast<void*>(message)};
    return AddMethod(type, procs, table, 0) == noErr;
}

bool startHandlers(const host::Options& options) {
    HostState& s = S();
    auto table = reinterpret_cast<Handle>(GetAGlobal(kSlotMethodTable));
    if (!table) {
        table = FmNewHandle(0);
        if (!table) return false;
        s.ownTable = table;
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(table));
    }
    if (!addHandler(table, kHandlerHIDE, hideNew, hideMessage) ||
        !addHandler(table, kHandlerDBUG, debugNew, debugMessage) ||
        !addHandler(table, kHandlerPBAR, progressNew, progressMessage))
        return false;

    if (hideNew(nullptr, 0, 0, &s.main) != 0) return false;
    SetAGlobal(kSlotMainWnd, s.main);
    progressNew(nullptr, 0, 0, &s.progress);
    if (options.debug) {
        debugNew(nullptr, 0, 0, &s.debug);
        DBActivate(1);
    }
    FmDebug(0, "handlers: main window %s, debug window %s, progress window %s\n",
            host::windowText(s.main).c_str(), host::windowText(s.debug).c_str(),
            host::windowText(s.progress).c_str());
    return true;
}

void stopHandlers() {
    HostState& s = S();
    DBActivate(0);
    if (s.progressLineOpen) std::fputc('\n', stderr);
    for (FmWindow* w : {&s.debug, &s.progress, &s.main}) {
        if (*w) plainDispose(*w);
        *w = 0;
    }
    SetAGlobal(kSlotMainWnd, 0);
    if (s.ownTable) {
        SetAGlobal(kSlotMethodTable, 0);
        FmDisposeHandle(s.ownTable);
        s.ownTable = nullptr;
    }
}

host::Registrar step(host::Step{500, "handler methods and windows", startHandlers, stopHandlers});

std::string typeText(OSType type) {
    std::string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char(type >> shift);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t;
}

void printHandlers(FILE* out) {
    auto table = reinterpret_cast<Handle>(GetAGlobal(kSlotMethodTable));
    int count =
        table && *table && GetHandleSize(table) >= 2 ? *reinterpret_cast<int16_t*>(*table) : 0;
    std::fprintf(out, "handler types: %d registered\n", count);
    for (OSType type : {kHandlerHIDE, kHandlerDBUG, kHandlerPBAR}) {
        int16_t fileID = 0;
        void* proc = LookupMethod(type, table, kHandlerMessageProcIndex, &fileID);
        const FmWindow first = GetFirstWind(type);
        std::fprintf(out, "  %s: %s, FileID %d, first window %s\n", typeText(type).c_str(),
                     proc ? "built in" : "missing", fileID,
                     first ? host::windowText(first).c_str() : "none");
    }
    char title[64];
    FmWndGetTitle(FmWindow(GetMainWnd()), title, sizeof title);
    std::fprintf(out, "main window: %s \"%s\"\n", host::windowText(FmWindow(GetMainWnd())).c_str(),
                 title);
    std::fprintf(out, "stored resources: %s\n", cacheFolder().c_str());
    FmDebug(0, "info: main window %t answered %d message codes\n", kHandlerHIDE,
            int(S().hideMessages.size()));
}

host::Registrar info(host::InfoSection{500, printHandlers});

// `reelhost windows [DIR]`: the window tree; with DIR, each surface as PNG.
void listWindows(FILE* out, FmWindow parent, int depth, const std::string& dir, int& saved) {
    for (FmWindow w = FmWndGetFirstChild(parent); w; w = FmWndGetNextSibling(w)) {
        char title[128];
        FmWndGetTitle(w, title, sizeof title);
        int32_t width = 0, height = 0;
        FmWndGetSurfaceSize(w, &width, &height);
        Handle data = GetFilmoryxWindowData(w);
        OSType type = 0;
        if (data && GetHandleSize(data) >= 8) std::memcpy(&type, *data + 4, 4);
        std::fprintf(out, "%*s%s %s \"%s\" %dx%d%s\n", depth * 2, "", host::windowText(w).c_str(),
                     type ? typeText(type).c_str() : "----", title, width, height,
                     FmWndIsVisible(w) ? " visible" : "");
        if (!dir.empty() && width > 0 && height > 0) {
            std::string path = dir + "/window-" + std::to_string(w) + ".png";
            if (FmWndSavePNG(w, path.c_str())) ++saved;
        }
        listWindows(out, w, depth + 1, dir, saved);
    }
}

std::string windowsDir;

int runWindows() {
    const std::string& dir = windowsDir;
    if (!dir.empty() && !makeFolders(dir)) {
        std::fprintf(stderr, "reelhost: cannot create %s\n", dir.c_str());
        return 1;
    }
    // Show the progress bar once so its surface has something drawn.
    for (int done = 0; done <= 100; done += 25)
        PMSendMessage(kHandlerPBAR, 56, done, 100, nullptr, 0);
    int saved = 0;
    listWindows(stdout, 0, 0, dir, saved);
    if (dir.empty()) return 0;
    std::printf("saved %d surface%s in %s\n", saved, saved == 1 ? "" : "s", dir.c_str());
    return saved > 0 ? 0 : 1;
}

host::Registrar windowsCommand(host::Command{
    "windows", "list the windows; with DIR save each surface as DIR/window-<id>.png",
    [](CLI::App& cmd) {
        cmd.add_option("DIR", windowsDir, "folder for the PNG files (made when missing)")
            ->check(CLI::Validator(
                [](std::string& dir) -> std::string {
                    struct stat st {};
                    if (stat(dir.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return "";
                    return "'" + dir + "' exists and is not a folder";
                },
                "", "folder"));
    },
    runWindows});

}  // namespace
