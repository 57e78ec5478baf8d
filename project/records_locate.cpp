// Finding the files of a project that have moved: search folders, the skip
// flags of one load, preview file names, the locate dialog (a replaceable
// callback) and the messages the loaders show.
#include <cctype>
#include <cstring>

#include "project/records_internal.h"
#include "reelcore/alerts.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/prefs.h"
#include "reelcore/strings.h"

namespace rc::project {

namespace {

constexpr int16_t kLoadTextList = 1163;

FmProjProgressProc gProgress = nullptr;
intptr_t gProgressValue = 0;
int32_t gSkipFlags = 0;

// Without an interface a missing file is kept offline with its stored
// description when that is offered (nothing is lost), else skipped.
int32_t headlessLocate(const char*, int32_t, Boolean offlineAllowed, char*, OSType*) {
    return offlineAllowed ? kLocateAnswerOffline : kLocateAnswerSkip;
}
FmLocateDialogProc gLocate = headlessLocate;

bool digits(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
    return true;
}
bool digit0to5(char c) {
    return c >= '0' && c <= '5';
}

OSType typeOfPath(const char* path) {
    OSType t = ExtensionToType(path);
    if (!t) {
        FSSpec spec{};
        std::strncpy(spec.name, path, sizeof spec.name - 1);
        t = FSSpecToFileType(&spec);
    }
    return t;
}

void sendTo(FmWindow window, int32_t code, intptr_t p1 = 0) {
    if (window) SendWindowMessage(window, code, p1, 0, 0, 0);
}

}  // namespace

void reportProgress(OSType tag) {
    if (gProgress) gProgress(1, gProgressValue, tag);
}

bool askUser(LoadText text, bool okCancel) {
    return AlertSystem(0, okCancel ? 1 : 0, kLoadTextList, int16_t(text), 0, 0) != kAlertCancel;
}

int32_t& skipFlags() {
    return gSkipFlags;
}

std::string folderOf(const char* path) {
    std::string p(path ? path : "");
    size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : p.substr(0, cut);
}

OSErr addSearchFolder(Handle folders, const char* folder) {
    if (!folders || !folder || !*folder) return noErr;
    const size_t room = kSearchFolderEntrySize - 6;
    uint32_t n = FmGetHandleSize(folders) / kSearchFolderEntrySize;
    for (uint32_t i = 0; i < n; ++i)
        if (std::strncmp(*folders + i * kSearchFolderEntrySize + 6, folder, room) == 0)
            return noErr;
    if (std::strlen(folder) >= room) return kProjPathTooLong;
    if (FmSetHandleSize(folders, (n + 1) * kSearchFolderEntrySize) != noErr) return memFullErr;
    char* entry = *folders + n * kSearchFolderEntrySize;
    std::memset(entry, 0, kSearchFolderEntrySize);
    std::strcpy(entry + 6, folder);
    return noErr;
}

// The application's folder first; for a folder number, the folders that
// rendered video and audio previews are written to.
Handle newSearchFolders(int16_t folderNumber) {
    Handle folders = FmNewHandle(0);
    if (!folders) return nullptr;
    if (const auto* app = reinterpret_cast<const FSSpec*>(GetAGlobal(kSlotAppFolder))) {
        char path[sizeof app->name + 1] = {};
        std::memcpy(path, app->name, sizeof app->name);
        addSearchFolder(folders, path);
    }
    if (folderNumber) {
        for (OSType which : {fourCC("VNam"), fourCC("ANam")}) {
            char path[260] = {};
            FmGetPrefPath(which, path);
            path[sizeof path - 1] = 0;
            addSearchFolder(folders, path);
        }
    }
    return folders;
}

// Rendered previews are named by time stamps: "A" + HHMMSS-like digits
// (7 characters), "V" + 4 digits, any, 2 digits (8, or 11 with "." and 2
// digits), and longer stamped names of 22, 25, 26, 30 or 31 characters that
// start with "A" or "V" and end in at least 12 digits and separators.
bool isPreviewName(const char* name) {
    if (!name) return false;
    const size_t n = std::strlen(name);
    if (n == 0 || (name[0] != 'A' && name[0] != 'V')) return false;
    if (n == 7)
        return name[0] == 'A' && digits(name + 1, 2) && digit0to5(name[3]) && digits(name + 4, 2) &&
               digit0to5(name[6]);
    if (n == 8 || n == 11) {
        if (name[0] != 'V' || !digits(name + 1, 4) || !digits(name + 6, 2)) return false;
        return n == 8 || (name[8] == '.' && digits(name + 9, 2));
    }
    if (n == 22 || n == 25 || n == 26 || n == 30 || n == 31) {
        int found = 0;
        for (size_t i = 1; i < n; ++i)
            if (std::isdigit(static_cast<unsigned char>(name[i]))) ++found;
        return found >= 12;
    }
    return false;
}

}  // namespace rc::project

using namespace rc::project;

RC_API FmProjProgressProc FmSetProjProgressProc(FmProjProgressProc proc, intptr_t value) {
    FmProjProgressProc old = gProgress;
    gProgress = proc;
    gProgressValue = value;
    return old;
}

RC_API FmLocateDialogProc FmSetLocateDialogProc(FmLocateDialogProc proc) {
    FmLocateDialogProc old = gLocate == headlessLocate ? nullptr : gLocate;
    gLocate = proc ? proc : headlessLocate;
    return old;
}

RC_API int16_t LocateFile(char* path, Handle searchFolders, OSType* fileType, FmWindow window,
                          Boolean offlineAllowed, Boolean askAtOnce, Boolean remember) {
    if (!path || !fileType) return kLocateFailed;
    path[259] = 0;
    const char* name = FileNameFromPath(path);
    if (!askAtOnce && searchFolders && name && *name) {
        uint32_t n = FmGetHandleSize(searchFolders) / kSearchFolderEntrySize;
        for (uint32_t i = 0; i < n; ++i) {
            std::string folder(*searchFolders + i * kSearchFolderEntrySize + 6,
                               strnlen(*searchFolders + i * kSearchFolderEntrySize + 6,
                                       kSearchFolderEntrySize - 6));
            if (folder.empty()) continue;
            std::string candidate = folder + "/" + name;
            if (candidate.size() < 260 && exists(candidate.c_str())) {
                std::strcpy(path, candidate.c_str());
                *fileType = typeOfPath(path);
                return kLocateFound;
            }
        }
    }

    int32_t flags = skipFlags();
    std::string bare = name ? name : "";
    if (size_t dot = bare.find_last_of('.'); dot != std::string::npos) bare.resize(dot);
    if ((flags & kSkipAllMissing) ||
        ((flags & kSkipMissingPreviews) && isPreviewName(bare.c_str()))) {
        sendTo(window, kMsgFileSkipped);
        return kLocateSkip;
    }
    if ((flags & kOfflineAllMissing) && offlineAllowed) return kLocateOffline;

    char chosen[260] = {};
    OSType chosenType = 0;
    const int32_t typeClass = GetTypeFlags(*fileType) & 0x3FF;
    const intptr_t locating = GetAGlobal(kSlotLocatingFile);
    SetAGlobal(kSlotLocatingFile, 1);
    int32_t answer = gLocate(path, typeClass, offlineAllowed, chosen, &chosenType);
    SetAGlobal(kSlotLocatingFile, locating);
    chosen[sizeof chosen - 1] = 0;

    int16_t result = kLocateSkip;
    switch (answer) {
        case kLocateAnswerOK:
            if (!chosen[0]) {
                result = kLocateFailed;
                break;
            }
            std::strcpy(path, chosen);
            *fileType = chosenType ? chosenType : typeOfPath(path);
            addSearchFolder(searchFolders, folderOf(path).c_str());
            sendTo(window, kMsgFileLocated, 1);
            result = kLocateFound;
            break;
        case kLocateAnswerOfflineAll:
            flags |= kOfflineAllMissing;
            [[fallthrough]];
        case kLocateAnswerOffline:
            result = offlineAllowed ? kLocateOffline : kLocateSkip;
            break;
        case kLocateAnswerSkipAll:
            flags |= kSkipAllMissing | kSkipMissingPreviews;
            break;
        case kLocateAnswerSkipPreviews:
            flags |= kSkipMissingPreviews;
            break;
        case kLocateAnswerSkip:
            break;
        default:
            result = kLocateFailed;  // the dialog did not appear
            break;
    }
    if (result == kLocateSkip) sendTo(window, kMsgFileSkipped);
    if (remember) skipFlags() = flags;
    return result;
}
