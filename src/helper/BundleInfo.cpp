#include "helper/BundleInfo.h"

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <functional>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint64_t maxSectionHeaders = 4096;
constexpr uint64_t maxNamesBytes = 1 << 20;
constexpr uint64_t maxInfoBytes = 64 * 1024;

// Reads `length` bytes at `offset` into `out`; false if they are not all there.
using ReadAt = std::function<bool(uint64_t offset, uint64_t length, void* out)>;

std::optional<std::map<std::string, std::string>> dictionaryFrom(const std::string& text) {
    const auto parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return std::nullopt;
    std::map<std::string, std::string> info;
    for (const auto& [key, value] : parsed.items())
        if (value.is_string())
            info[key] = value.get<std::string>();
    return info;
}

std::optional<std::map<std::string, std::string>> readInfo(uint64_t fileSize,
                                                           const ReadAt& readAt) {
    Elf64_Ehdr header;
    if (!readAt(0, sizeof header, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shnum == 0 || header.e_shnum > maxSectionHeaders ||
        header.e_shstrndx >= header.e_shnum)
        return std::nullopt;
    if (header.e_shoff > fileSize ||
        header.e_shnum * sizeof(Elf64_Shdr) > fileSize - header.e_shoff)
        return std::nullopt;

    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(header.e_shoff, sections.size() * sizeof(Elf64_Shdr), sections.data()))
        return std::nullopt;
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > maxNamesBytes)
        return std::nullopt;
    std::string nameTable(names.sh_size, '\0');
    if (!readAt(names.sh_offset, names.sh_size, nameTable.data()))
        return std::nullopt;

    for (const auto& section : sections) {
        if (section.sh_name >= nameTable.size())
            continue;
        if (std::strncmp(nameTable.c_str() + section.sh_name, BundleInfo::sectionName,
                         nameTable.size() - section.sh_name) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size == 0 || section.sh_size > maxInfoBytes)
            return std::nullopt;
        std::string text(section.sh_size, '\0');
        if (!readAt(section.sh_offset, section.sh_size, text.data()))
            return std::nullopt;
        text.resize(std::strlen(text.c_str())); // the section may be NUL-padded
        return dictionaryFrom(text);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::map<std::string, std::string>> BundleInfo::read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    std::optional<std::map<std::string, std::string>> info;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const auto size = static_cast<uint64_t>(st.st_size);
        info = readInfo(size, [fd, size](uint64_t offset, uint64_t length, void* out) {
            if (offset > size || length > size - offset)
                return false;
            return ::pread(fd, out, length, static_cast<off_t>(offset)) ==
                   static_cast<ssize_t>(length);
        });
    }
    ::close(fd);
    return info;
}

std::optional<std::map<std::string, std::string>> BundleInfo::parse(std::string_view image) {
    return readInfo(image.size(), [image](uint64_t offset, uint64_t length, void* out) {
        if (offset > image.size() || length > image.size() - offset)
            return false;
        std::memcpy(out, image.data() + offset, length);
        return true;
    });
}

std::optional<std::string> BundleInfo::version(const std::string& path) {
    const auto info = read(path);
    if (!info)
        return std::nullopt;
    const auto it = info->find(versionKey);
    return it == info->end() ? std::nullopt : std::optional<std::string>(it->second);
}
