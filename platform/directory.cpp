#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace rc::platform {

bool listFolder(const char* path, std::vector<FolderEntry>& out) {
    out.clear();
    if (path == nullptr || *path == '\0') return false;
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return false;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        FolderEntry entry;
        entry.name = e->d_name;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems do not report the kind in the listing.
            struct stat st {};
            const std::string full = std::string(path) + "/" + e->d_name;
            if (::lstat(full.c_str(), &st) == 0)
                type = S_ISLNK(st.st_mode)   ? DT_LNK
                       : S_ISDIR(st.st_mode) ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                                             : DT_UNKNOWN;
        }
        entry.kind = type == DT_REG   ? EntryKind::File
                     : type == DT_DIR ? EntryKind::Folder
                     : type == DT_LNK ? EntryKind::Link
                                      : EntryKind::Other;
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

bool resolvePath(const char* path, std::string& out) {
    // realpath fails with ELOOP on a loop of links and ENOENT on a dangling
    // one. `path` may be out's own text, so out changes only at the end.
    char* resolved = path && *path ? ::realpath(path, nullptr) : nullptr;
    if (resolved == nullptr) {
        out.clear();
        return false;
    }
    out = resolved;
    std::free(resolved);
    return true;
}

bool fileStamp(const char* path, FileStamp& out) {
    out = FileStamp{};
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    out.size = st.st_size < 0 ? 0 : static_cast<uint64_t>(st.st_size);
    out.writeTime = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                    static_cast<uint64_t>(st.st_mtim.tv_nsec);
    out.isFile = S_ISREG(st.st_mode);
    out.isFolder = S_ISDIR(st.st_mode);
    return true;
}

bool fileReadable(const char* path) {
    if (path == nullptr) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace rc::platform
