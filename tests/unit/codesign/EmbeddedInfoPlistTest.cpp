#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "platform/bundle/ElfSection.h"
#include "platform/bundle/EmbeddedInfoPlist.h"
#include "platform/bundle/PlistDocument.h"
#include "tests/support/Files.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr const char* kOtherPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.zelquin.lidora.helper</string>
	<key>Padding</key>
	<string>a longer list than the one the linker put in, so that the section has to grow</string>
</dict>
</plist>
)";

using testing::readFile;
using testing::writeFile;

std::string stringAt(const PreferenceDictionary& plist, const std::string& key) {
    const auto found = plist.find(key);
    return found != plist.end() && found->second.asString() != nullptr ? *found->second.asString() : "<missing>";
}

template <typename Field>
void poke(std::string& bytes, std::size_t offset, Field value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename Field>
Field peek(const std::string& bytes, std::size_t offset) {
    Field value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// A small real executable with an __info_plist section, and where in it the
// fields a hostile file would lie about are.
class ElfFixture : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.path() / "Info.plist", kOtherPlist);
        const auto made =
            testing::runProcess({OBJCOPY_BIN, "--add-section", "__info_plist=" + (dir.path() / "Info.plist").string(),
                                 "/bin/sleep", (dir.path() / "fixture").string()});
        ASSERT_EQ(made.status, 0) << made.err;
        original = readFile(dir.path() / "fixture");
        const auto tableOffset = peek<Elf64_Off>(original, offsetof(Elf64_Ehdr, e_shoff));
        const auto count = peek<Elf64_Half>(original, offsetof(Elf64_Ehdr, e_shnum));
        names = tableOffset + sizeof(Elf64_Shdr) * peek<Elf64_Half>(original, offsetof(Elf64_Ehdr, e_shstrndx));
        const auto namesOffset = peek<Elf64_Off>(original, names + offsetof(Elf64_Shdr, sh_offset));
        for (std::size_t i = 0; i < count; ++i) {
            const auto header = tableOffset + i * sizeof(Elf64_Shdr);
            const auto name = peek<Elf64_Word>(original, header + offsetof(Elf64_Shdr, sh_name));
            if (std::strcmp(original.c_str() + namesOffset + name, "__info_plist") == 0) {
                info = header;
            } else if (i > 0) {
                another = header;
            }
        }
        ASSERT_NE(info, 0U);
    }

    Expected<PreferenceDictionary, std::string> readVariant(const std::string& bytes) {
        writeFile(dir.path() / "variant", bytes);
        return readEmbeddedInfoPlist(dir.path() / "variant");
    }

    testing::TempDir dir;
    std::string original;
    std::size_t names = 0;    // offset of the name table's section header
    std::size_t info = 0;     // offset of __info_plist's section header
    std::size_t another = 0;  // offset of some other section's header
};

TEST(EmbeddedInfoPlist, ReadsTheOneBuiltIntoThisTest) {
    const auto plist = readEmbeddedInfoPlist("/proc/self/exe");
    ASSERT_TRUE(plist.has_value()) << plist.error();
    EXPECT_EQ(stringAt(*plist, "CFBundleIdentifier"), "com.zelquin.lidora.tests");
    EXPECT_EQ(stringAt(*plist, "CFBundleShortVersionString"), LIDORA_VERSION);
    EXPECT_EQ(stringAt(*plist, "LSTeamID"), "K7QX4N2M9T");
    // Exactly the configured file: no terminating NUL, no padding.
    EXPECT_EQ(readElfSection("/proc/self/exe", "__info_plist", 1 << 20).value_or(""), readFile(EMBEDDED_PLIST));
}

TEST(EmbeddedInfoPlist, ObjcopyChangesWhatIsRead) {
    const testing::TempDir dir;
    const auto copy = dir.path() / "copy";
    std::filesystem::copy_file("/proc/self/exe", copy);
    writeFile(dir.path() / "other.plist", kOtherPlist);
    const auto updated = testing::runProcess(
        {OBJCOPY_BIN, "--update-section", "__info_plist=" + (dir.path() / "other.plist").string(), copy.string()});
    ASSERT_EQ(updated.status, 0) << updated.err;

    const auto plist = readEmbeddedInfoPlist(copy);
    ASSERT_TRUE(plist.has_value()) << plist.error();
    EXPECT_EQ(stringAt(*plist, "CFBundleIdentifier"), "com.zelquin.lidora.helper");
    EXPECT_EQ(plist->count("LSTeamID"), 0U);

    writeFile(dir.path() / "bad.plist", "<plist version=\"1.0\"><array/></plist>");
    ASSERT_EQ(testing::runProcess({OBJCOPY_BIN, "--update-section",
                                   "__info_plist=" + (dir.path() / "bad.plist").string(), copy.string()})
                  .status,
              0);
    EXPECT_THAT(readEmbeddedInfoPlist(copy).error(), HasSubstr("not a dictionary"));
}

TEST(PlistDocument, StripsTheWrapperAndRefusesWhatIsNotAPlist) {
    const auto dressed = parseXmlPlistDocument(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<!DOCTYPE plist PUBLIC \"x\" \"y\">\n"
        "<plist version=\"1.0\">\n<string>&lt;plist&gt;</string>\n</plist>\n<!-- end -->\n");
    ASSERT_TRUE(dressed.has_value()) << dressed.error();
    EXPECT_EQ(*dressed, PreferenceValue("<plist>"));

    const std::pair<const char*, const char*> bad[] = {
        {"<dict/>", "expected <plist>"},
        {"<plist><dict/>", "</plist> is missing"},
        {"<plist><dict/></plist>trailing", "after </plist>"},
        {"<!DOCTYPE plist [<!ENTITY x \"boom\">]><plist><string>&x;</string></plist>", "unsupported DOCTYPE"},
    };
    for (const auto& [text, reason] : bad) {
        EXPECT_THAT(parseXmlPlistDocument(text).error(), HasSubstr(reason)) << text;
    }
}

TEST_F(ElfFixture, OtherAndTruncatedFilesAreErrors) {
    EXPECT_TRUE(readVariant(original).has_value());
    EXPECT_THAT(readEmbeddedInfoPlist(dir.path() / "missing").error(), HasSubstr("cannot open"));
    EXPECT_THAT(readEmbeddedInfoPlist(dir.path()).error(), HasSubstr("not a regular file"));
    EXPECT_THAT(readEmbeddedInfoPlist("/bin/sleep").error(), HasSubstr("has no __info_plist section"));
    EXPECT_THAT(readVariant("").error(), HasSubstr("too short"));
    EXPECT_THAT(readVariant(std::string(100, 'x')).error(), HasSubstr("not an ELF file"));
    for (const auto& [at, value, reason] :
         {std::tuple{EI_CLASS, ELFCLASS32, "not a 64-bit"}, std::tuple{EI_DATA, ELFDATA2MSB, "little-endian"}}) {
        std::string changed = original;
        changed[at] = static_cast<char>(value);
        EXPECT_THAT(readVariant(changed).error(), HasSubstr(reason));
    }
    for (const std::size_t length : {sizeof(Elf64_Ehdr) - 1, std::size_t{4096}, original.size() - 1}) {
        EXPECT_FALSE(readVariant(original.substr(0, length)).has_value()) << length;
    }
}

TEST_F(ElfFixture, LyingHeadersAreErrors) {
    constexpr auto kHuge = std::uint64_t{0xFFFF'FFFF'FFFF'FF00};
    const std::size_t shoff = offsetof(Elf64_Ehdr, e_shoff);
    const std::size_t shentsize = offsetof(Elf64_Ehdr, e_shentsize);
    const std::size_t shnum = offsetof(Elf64_Ehdr, e_shnum);
    const std::size_t shstrndx = offsetof(Elf64_Ehdr, e_shstrndx);
    const auto tableOffset = peek<Elf64_Off>(original, shoff);
    const auto name = [](std::size_t header) { return header + offsetof(Elf64_Shdr, sh_name); };
    const auto offset = [](std::size_t header) { return header + offsetof(Elf64_Shdr, sh_offset); };
    const auto size = [](std::size_t header) { return header + offsetof(Elf64_Shdr, sh_size); };
    const std::vector<std::pair<std::function<void(std::string&)>, const char*>> lies = {
        {[&](std::string& b) { poke<Elf64_Off>(b, shoff, kHuge); }, "section header table outside the file"},
        {[&](std::string& b) { poke<Elf64_Off>(b, shoff, 0); }, "no section headers"},
        {[&](std::string& b) { poke<Elf64_Half>(b, shentsize, 10); }, "wrong size"},
        {[&](std::string& b) { poke<Elf64_Half>(b, shnum, 0xFEFF); }, "outside the file"},
        {[&](std::string& b) { poke<Elf64_Half>(b, shstrndx, peek<Elf64_Half>(b, shnum)); }, "no section name table"},
        {[&](std::string& b) {
             poke<Elf64_Half>(b, shnum, 0);
             poke<Elf64_Xword>(b, size(tableOffset), kHuge);
         },
         "too many sections"},
        {[&](std::string& b) {
             poke<Elf64_Half>(b, shstrndx, SHN_XINDEX);
             poke<Elf64_Word>(b, tableOffset + offsetof(Elf64_Shdr, sh_link), 0xFFFF'FFFF);
         },
         "no section name table"},
        {[&](std::string& b) { poke<Elf64_Off>(b, offset(names), kHuge); }, "bad section name table"},
        {[&](std::string& b) { poke<Elf64_Word>(b, name(info), 0xFFFF'FFF0); }, "name outside the name table"},
        {[&](std::string& b) {
             const auto end = peek<Elf64_Off>(b, offset(names)) + peek<Elf64_Xword>(b, size(names));
             b[end - 1] = 'x';
         },
         "does not end"},
        {[&](std::string& b) { poke<Elf64_Word>(b, name(another), peek<Elf64_Word>(b, name(info))); }, "more than one"},
        {[&](std::string& b) { poke<Elf64_Off>(b, offset(info), b.size() - 2); }, "outside the file"},
        {[&](std::string& b) { poke<Elf64_Xword>(b, size(info), kHuge); }, "larger than"},
        {[&](std::string& b) { poke<Elf64_Word>(b, info + offsetof(Elf64_Shdr, sh_type), SHT_NOBITS); }, "no contents"},
        {[&](std::string& b) { b[peek<Elf64_Off>(b, offset(info)) + 1] = '!'; }, "malformed"},
    };
    for (const auto& [lie, reason] : lies) {
        std::string changed = original;
        lie(changed);
        const auto plist = readVariant(changed);
        ASSERT_FALSE(plist.has_value()) << reason;
        EXPECT_THAT(plist.error(), HasSubstr(reason));
    }
}

TEST_F(ElfFixture, RandomDamageNeverCrashes) {
    const auto tableOffset = peek<Elf64_Off>(original, offsetof(Elf64_Ehdr, e_shoff));
    std::mt19937 random(20260101);
    std::uniform_int_distribution<std::size_t> where(0, original.size() - tableOffset + sizeof(Elf64_Ehdr) - 1);
    for (int round = 0; round < 300; ++round) {
        std::string changed = original;
        for (int flip = 0; flip < 4; ++flip) {
            std::size_t at = where(random);
            at = at < sizeof(Elf64_Ehdr) ? at : tableOffset + at - sizeof(Elf64_Ehdr);
            changed[at] = static_cast<char>(random());
        }
        (void)readVariant(changed);
    }
}

}  // namespace
}  // namespace lidora::vmac
