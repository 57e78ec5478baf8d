#include "platform/module_resources.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"

namespace rc::platform {

namespace {

class File {
  public:
    explicit File(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool ok() const { return fd_ >= 0; }

    uint64_t size() const {
        struct stat st;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
        return static_cast<uint64_t>(st.st_size);
    }

    bool readAt(uint64_t offset, void* dst, size_t length) const {
        auto* p = static_cast<char*>(dst);
        while (length > 0) {
            const ssize_t n = ::pread(fd_, p, length, static_cast<off_t>(offset));
            if (n <= 0) return false;
            p += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<size_t>(n);
        }
        return true;
    }

  private:
    int fd_;
};

// True when [offset, offset + length) lies inside a file of `size` bytes.
bool within(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace

SectionRead readModuleSection(const char* path, const char* name, std::vector<uint8_t>& out) {
    out.clear();
    if (path == nullptr || name == nullptr) return SectionRead::NotReadable;
    File file(normalisePath(path).c_str());
    if (!file.ok()) return SectionRead::NotReadable;
    const uint64_t fileSize = file.size();

    Elf64_Ehdr eh;
    if (fileSize < sizeof eh || !file.readAt(0, &eh, sizeof eh)) return SectionRead::Malformed;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr))
        return SectionRead::Malformed;
    if (eh.e_shoff == 0) return SectionRead::NoSection;  // no section table at all

    // Section 0 carries the real count and string-table index when they do
    // not fit the header's 16-bit fields.
    Elf64_Shdr first;
    if (!within(eh.e_shoff, sizeof first, fileSize) ||
        !file.readAt(eh.e_shoff, &first, sizeof first))
        return SectionRead::Malformed;
    const uint64_t count = eh.e_shnum != 0 ? eh.e_shnum : first.sh_size;
    const uint64_t namesIndex = eh.e_shstrndx != SHN_XINDEX ? eh.e_shstrndx : first.sh_link;
    if (count == 0 || count > fileSize / sizeof(Elf64_Shdr) ||
        !within(eh.e_shoff, count * sizeof(Elf64_Shdr), fileSize) || namesIndex >= count)
        return SectionRead::Malformed;

    std::vector<Elf64_Shdr> sections(count);
    if (!file.readAt(eh.e_shoff, sections.data(), count * sizeof(Elf64_Shdr)))
        return SectionRead::Malformed;
    const Elf64_Shdr& namesSection = sections[namesIndex];
    if (namesSection.sh_type == SHT_NOBITS ||
        !within(namesSection.sh_offset, namesSection.sh_size, fileSize))
        return SectionRead::Malformed;
    std::vector<char> names(namesSection.sh_size);
    if (!names.empty() && !file.readAt(namesSection.sh_offset, names.data(), names.size()))
        return SectionRead::Malformed;

    const size_t wantedLength = std::strlen(name);
    for (const Elf64_Shdr& s : sections) {
        // The name must be followed by its NUL inside the string table.
        if (s.sh_name >= names.size() || names.size() - s.sh_name < wantedLength + 1) continue;
        if (std::memcmp(&names[s.sh_name], name, wantedLength + 1) != 0) continue;
        if (s.sh_type == SHT_NOBITS || !within(s.sh_offset, s.sh_size, fileSize))
            return SectionRead::Malformed;
        out.resize(s.sh_size);
        if (!out.empty() && !file.readAt(s.sh_offset, out.data(), out.size())) {
            out.clear();
            return SectionRead::Malformed;
        }
        return SectionRead::Ok;
    }
    return SectionRead::NoSection;
}

std::string modulePathOf(const void* address) {
    Dl_info info;
    struct link_map* map = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr)
        return {};
    // The program itself has an empty name in the loader's list.
    if (map->l_name == nullptr || map->l_name[0] == '\0') return "/proc/self/exe";
    return map->l_name;
}

}  // namespace rc::platform
