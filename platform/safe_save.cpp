#include "platform/safe_save.h"

#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "reelcore/files.h"

namespace rc::platform {

namespace {

int gFailCommitAt = 0;

int32_t errorNumber(int err) {
    switch (err) {
        case ENOENT:
            return kSysFileNotFound;
        case ENOTDIR:
            return kSysPathNotFound;
        case EMFILE:
        case ENFILE:
            return kSysTooManyOpenFiles;
        case EACCES:
        case EPERM:
            return kSysAccessDenied;
        case EROFS:
            return kSysWriteProtect;
        default:
            return 1000 + err;
    }
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void failSafeSaveCommitAt(int step) {
    gFailCommitAt = step;
}

int32_t beginSafeSave(const char* targetPath, SafeSaveFile& file) {
    if (!targetPath || !*targetPath) return kSysPathNotFound;
    file.targetPath = normalisePath(targetPath);
    std::string name = file.targetPath;
    size_t slash = name.find_last_of('/');
    std::string folder = folderOf(file.targetPath);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string pattern = (folder == "/" ? std::string() : folder) + "/." + base + ".XXXXXX";
    if (folder == "." && slash == std::string::npos) pattern = "." + base + ".XXXXXX";
    std::string buffer = pattern;
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) return errorNumber(errno);
    struct stat st;
    mode_t mode = 0666;
    if (::stat(file.targetPath.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);
    // Keep descriptors 0-2 free for the standard streams.
    if (fd <= 2) {
        int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        if (moved < 0) {
            ::unlink(buffer.c_str());
            return errorNumber(errno);
        }
        fd = moved;
    }
    file.fd = fd;
    file.tempPath = buffer;
    return 0;
}

int32_t commitSafeSave(SafeSaveFile& file) {
    int32_t err = 0;
    int failAt = gFailCommitAt;
    gFailCommitAt = 0;
    if (file.fd < 0) return kSysAccessDenied;
    if (failAt == 1)
        err = 1000 + EIO;
    else if (::fsync(file.fd) != 0)
        err = errorNumber(errno);
    if (::close(file.fd) != 0 && !err) err = errorNumber(errno);
    if (failAt == 2 && !err) err = 1000 + EIO;
    file.fd = -1;
    if (!err) {
        if (failAt == 3)
            err = 1000 + EXDEV;
        else if (::rename(file.tempPath.c_str(), file.targetPath.c_str()) != 0)
            err = errorNumber(errno);
    }
    if (err) {
        ::unlink(file.tempPath.c_str());
        return err;
    }
    syncFolder(folderOf(file.targetPath));
    file.tempPath.clear();
    return 0;
}

void abortSafeSave(SafeSaveFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
    if (!file.tempPath.empty()) ::unlink(file.tempPath.c_str());
    file.tempPath.clear();
}

int32_t truncateFile(int32_t fd, int64_t length) {
    if (fd < 0 || length < 0) return kSysAccessDenied;
    int r;
    do {
        r = ::ftruncate(fd, off_t(length));
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : errorNumber(errno);
}

}  // namespace rc::platform
