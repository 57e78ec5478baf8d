#include "platform/folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace rc::platform {

bool makeFolders(const char* path) {
    if (!path || !*path) return false;
    std::string p = normalisePath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = p.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(p.substr(0, slash).c_str()))
        return false;
    if (::mkdir(p.c_str(), 0777) == 0) return true;
    return errno == EEXIST && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> listFolder(const char* path, const char* suffix) {
    std::vector<std::string> names;
    if (!path) return names;
    std::string folder = normalisePath(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    size_t n = suffix ? std::strlen(suffix) : 0;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (name.size() < n ||
            ::strcasecmp(name.c_str() + name.size() - n, suffix ? suffix : "") != 0)
            continue;
        struct stat st;
        if (::stat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

int32_t renamePath(const char* from, const char* to) {
    if (!from || !to) return 3;
    if (::rename(normalisePath(from).c_str(), normalisePath(to).c_str()) == 0) return 0;
    return systemErrorFromErrno(errno);
}

int32_t reopenDescriptor(int32_t fd, const char* path) {
    if (fd < 0 || !path) return 6;
    int fresh = ::open(normalisePath(path).c_str(), O_RDWR | O_CLOEXEC);
    if (fresh < 0) return systemErrorFromErrno(errno);
    int32_t result = 0;
    if (::dup3(fresh, fd, O_CLOEXEC) < 0) result = systemErrorFromErrno(errno);
    ::close(fresh);
    return result;
}

std::string userConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config";
    return std::string();
}

}  // namespace rc::platform
