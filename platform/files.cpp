#include "platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace rc::platform {

int32_t systemErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case ENOENT:
            return 2;
        case ENOTDIR:
            return 3;
        case EMFILE:
        case ENFILE:
            return 4;
        case EACCES:
        case EPERM:
            return 5;
        case ENXIO:
        case ENODEV:
            return 15;
        case EROFS:
            return 19;
        case ETXTBSY:
            return 32;
        default:
            return 1000 + err;
    }
}

std::string normalisePath(const char* path) {
    std::string s = path ? path : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool pathsEqual(const char* a, const char* b) {
    return normalisePath(a) == normalisePath(b);
}

namespace {
// File references 0, 1 and 2 have other meanings for callers; keep clear of
// them even when the standard streams are closed.
int32_t aboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}
}  // namespace

int32_t openFile(const char* path, OpenMode mode, int32_t* sysErr) {
    std::string p = normalisePath(path);
    int flags = O_CLOEXEC;
    switch (mode) {
        case OpenMode::Read:
            flags |= O_RDONLY;
            break;
        case OpenMode::ReadWrite:
            flags |= O_RDWR;
            break;
        case OpenMode::CreateTruncate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
    }
    int fd;
    do {
        fd = ::open(p.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd);
            fd = -1;
            errno = EACCES;
        }
    }
    fd = aboveStandardStreams(fd);
    if (fd < 0) {
        if (sysErr) *sysErr = systemErrorFromErrno(errno);
        return -1;
    }
    if (sysErr) *sysErr = 0;
    return fd;
}

bool closeFile(int32_t fd) {
    return fd >= 0 && ::close(fd) == 0;
}

int64_t readFile(int32_t fd, void* buffer, size_t count) {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t writeFile(int32_t fd, const void* buffer, size_t count) {
    size_t done = 0;
    auto* in = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = ::write(fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? int64_t(done) : -1;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t seekFile(int32_t fd, int64_t offset, int whence) {
    int w = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : -1;
    if (w < 0) return -1;
    off_t r = ::lseek(fd, off_t(offset), w);
    return r < 0 ? -1 : int64_t(r);
}

int64_t fileSize(int32_t fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return -1;
    return int64_t(st.st_size);
}

bool removeFile(const char* path, int32_t* sysErr) {
    std::string p = normalisePath(path);
    if (::unlink(p.c_str()) == 0) return true;
    if (sysErr) *sysErr = systemErrorFromErrno(errno);
    return false;
}

uint32_t modificationTime(const char* path) {
    struct stat st {};
    std::string p = normalisePath(path);
    if (::stat(p.c_str(), &st) != 0) return 0;
    return uint32_t(st.st_mtime);
}

}  // namespace rc::platform
