#include "platform/bundle/ElfSection.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// Real binaries have a few dozen sections; extended numbering could claim
// billions.
constexpr std::uint64_t kMaxSections = 65536;
constexpr std::uint64_t kMaxNameTable = std::uint64_t{16} << 20;

class ElfFile {
public:
    ElfFile(std::filesystem::path path, FileDescriptor fd, std::uint64_t size)
        : path_(std::move(path)), fd_(std::move(fd)), size_(size) {}

    Expected<std::string, std::string> section(std::string_view name, std::size_t maxSize) {
        Elf64_Ehdr header{};
        if (!read(0, &header, sizeof header)) {
            return fail("is too short to be an ELF file");
        }
        if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
            return fail("is not an ELF file");
        }
        if (header.e_ident[EI_CLASS] != ELFCLASS64) {
            return fail("is not a 64-bit ELF file");
        }
        if (header.e_ident[EI_DATA] != ELFDATA2LSB || std::endian::native != std::endian::little) {
            return fail("is not a little-endian ELF file");
        }
        if (header.e_shoff == 0) {
            return fail("has no section headers");
        }
        if (header.e_shentsize < sizeof(Elf64_Shdr)) {
            return fail("has section headers of a wrong size");
        }
        tableOffset_ = header.e_shoff;
        entrySize_ = header.e_shentsize;
        // Counts that do not fit the header live in the first section header.
        std::uint64_t count = header.e_shnum;
        std::uint64_t namesIndex = header.e_shstrndx;
        if (count == 0 || namesIndex == SHN_XINDEX) {
            const auto first = sectionHeader(0);
            if (!first) {
                return fail("has a section header table outside the file");
            }
            count = count == 0 ? first->sh_size : count;
            namesIndex = namesIndex == SHN_XINDEX ? first->sh_link : namesIndex;
        }
        if (count > kMaxSections) {
            return fail("claims too many sections");
        }
        if (count * entrySize_ > size_ || tableOffset_ > size_ - count * entrySize_) {
            return fail("has a section header table outside the file");
        }
        if (namesIndex == SHN_UNDEF || namesIndex >= count) {
            return fail("has no section name table");
        }
        const auto namesHeader = sectionHeader(namesIndex);
        if (!namesHeader) {
            return fail("cannot be read");
        }
        const auto names = contents(*namesHeader, kMaxNameTable);
        if (!names) {
            return fail("has a bad section name table: " + names.error());
        }
        std::optional<Elf64_Shdr> found;
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto header = sectionHeader(i);
            if (!header) {
                return fail("cannot be read");
            }
            const Elf64_Shdr& entry = *header;
            if (entry.sh_name >= names->size()) {
                return fail("has a section name outside the name table");
            }
            const auto end = names->find('\0', entry.sh_name);
            if (end == std::string::npos) {
                return fail("has a section name that does not end");
            }
            if (std::string_view(*names).substr(entry.sh_name, end - entry.sh_name) != name) {
                continue;
            }
            if (found) {
                return fail("has more than one " + std::string(name) + " section");
            }
            found = entry;
        }
        if (!found) {
            return fail("has no " + std::string(name) + " section");
        }
        auto bytes = contents(*found, maxSize);
        if (!bytes) {
            return fail("has a bad " + std::string(name) + " section: " + bytes.error());
        }
        return bytes;
    }

private:
    Expected<std::string, std::string> fail(const std::string& message) const {
        return unexpected(path_.string() + " " + message);
    }

    // Whole reads only; a short file is as bad as a wrong offset.
    bool read(std::uint64_t offset, void* into, std::size_t length) const {
        if (length > size_ || offset > size_ - length) {
            return false;
        }
        auto* out = static_cast<char*>(into);
        while (length > 0) {
            const ssize_t count = ::pread(fd_.get(), out, length, static_cast<off_t>(offset));
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return false;
            }
            out += count;
            offset += static_cast<std::uint64_t>(count);
            length -= static_cast<std::size_t>(count);
        }
        return true;
    }

    [[nodiscard]] std::optional<Elf64_Shdr> sectionHeader(std::uint64_t index) const {
        Elf64_Shdr entry{};
        // Callers keep index below kMaxSections, so the product cannot wrap.
        if (tableOffset_ > size_ || index * entrySize_ > size_ - tableOffset_) {
            return std::nullopt;
        }
        if (!read(tableOffset_ + index * entrySize_, &entry, sizeof entry)) {
            return std::nullopt;
        }
        return entry;
    }

    Expected<std::string, std::string> contents(const Elf64_Shdr& entry, std::uint64_t maxSize) const {
        if (entry.sh_type == SHT_NOBITS) {
            return unexpected(std::string("it has no contents in the file"));
        }
        if (entry.sh_size > maxSize) {
            return unexpected("it is larger than " + std::to_string(maxSize) + " bytes");
        }
        if (entry.sh_size > size_ || entry.sh_offset > size_ - entry.sh_size) {
            return unexpected(std::string("it lies outside the file"));
        }
        std::string bytes(static_cast<std::size_t>(entry.sh_size), '\0');
        if (!read(entry.sh_offset, bytes.data(), bytes.size())) {
            return unexpected(std::string("it lies outside the file"));
        }
        return bytes;
    }

    std::filesystem::path path_;
    FileDescriptor fd_;
    std::uint64_t size_;
    std::uint64_t tableOffset_ = 0;
    std::uint64_t entrySize_ = sizeof(Elf64_Shdr);
};

}  // namespace

Expected<std::string, std::string> readElfSection(const std::filesystem::path& file, std::string_view name,
                                                  std::size_t maxSize) {
    // Non-blocking so that a FIFO in the way cannot hang the reader.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        return unexpected(systemError("cannot open", file));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return unexpected(systemError("cannot inspect", file));
    }
    if (!S_ISREG(info.st_mode)) {
        return unexpected(file.string() + " is not a regular file");
    }
    ElfFile elf(file, std::move(fd), static_cast<std::uint64_t>(info.st_size));
    return elf.section(name, maxSize);
}

}  // namespace lidora::vmac
