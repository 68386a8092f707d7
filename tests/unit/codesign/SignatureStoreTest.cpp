#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/codesign/Sha256.h"
#include "platform/codesign/SignatureStore.h"
#include "tests/support/Files.h"
#include "tests/support/Spawned.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

using testing::readFile;
using testing::Spawned;
using testing::writeFile;

std::string sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.update(bytes);
    return Sha256::hex(hash.finish());
}

// `program 30` running, killed when the test ends.
Spawned sleeping(const std::filesystem::path& program) {
    return Spawned({program.string(), "30"});
}

TEST(Sha256, MatchesKnownDigests) {
    EXPECT_EQ(sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // 56 bytes: the length no longer fits the first padded block.
    EXPECT_EQ(sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    Sha256 pieces;
    for (int i = 0; i < 1000; ++i) {
        pieces.update(std::string(i % 2 == 0 ? 937 : 1063, 'a'));
    }
    EXPECT_EQ(Sha256::hex(pieces.finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class SignatureStoreTest : public ::testing::Test {
protected:
    std::filesystem::path program(const std::string& name) {
        auto path = dir.path() / name;
        std::filesystem::copy_file("/bin/sleep", path);
        std::filesystem::permissions(path, std::filesystem::perms(0755));
        return path;
    }
    std::filesystem::path databaseFolder() const { return dir.path() / "db" / "codesign"; }
    std::filesystem::path database() const { return databaseFolder() / "signatures.json"; }
    CodeSignature sign(SignatureStore& on, const std::filesystem::path& path, std::string team = "K7QX4N2M9T") {
        auto signature = on.sign(path, "com.zelquin.lidora", std::move(team));
        EXPECT_TRUE(signature.has_value()) << (signature ? "" : signature.error());
        return signature ? *signature : CodeSignature{};
    }

    testing::TempDir dir;
    SignatureStore store{database()};
};

TEST_F(SignatureStoreTest, SignsAFileAndProcessesRunningIt) {
    const auto sleep = program("sleep");
    const auto signature = sign(store, sleep);
    EXPECT_EQ(signature, (CodeSignature{"com.zelquin.lidora", "K7QX4N2M9T"}));
    EXPECT_EQ(store.signatureOfFile(sleep), signature);

    const auto child = sleeping(sleep);
    ASSERT_GT(child.pid(), 0);
    EXPECT_EQ(store.signatureOfProcess(child.pid()), signature);
    EXPECT_THAT(store.verifyProcess(::getpid()).error(), HasSubstr("not signed at all"));
    EXPECT_FALSE(store.verifyProcess(0).has_value());
    EXPECT_EQ(store.verifyFile(sleep).value_or(SignatureRecord{}).sha256, sha256Of(readFile(sleep)));
    struct stat info {};
    ASSERT_EQ(::stat(database().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644U);
    EXPECT_EQ(info.st_uid, ::geteuid());
}

TEST_F(SignatureStoreTest, EditedReplacedOrCopiedFilesAreUnsigned) {
    const auto edited = program("edited");
    const auto replaced = program("replaced");
    sign(store, edited);
    sign(store, replaced);

    const auto copy = dir.path() / "copy";
    std::filesystem::copy_file(edited, copy);
    EXPECT_THAT(store.verifyFile(copy).error(), HasSubstr("not signed at all"));

    // Same size and the old modification time: only the change time tells.
    struct stat before {};
    ASSERT_EQ(::stat(edited.c_str(), &before), 0);
    {
        std::fstream out(edited, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(100);
        out.put('\x7f');
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, edited.c_str(), times, 0), 0);
    EXPECT_THAT(store.verifyFile(edited).error(), HasSubstr("modified"));

    std::filesystem::rename(copy, replaced);
    EXPECT_FALSE(store.signatureOfFile(replaced).has_value());
    const auto child = sleeping(replaced);
    ASSERT_GT(child.pid(), 0);
    EXPECT_FALSE(store.signatureOfProcess(child.pid()).has_value());
}

TEST_F(SignatureStoreTest, ResigningReplacesAndRemovingForgetsForEveryStore) {
    const auto sleep = program("sleep");
    const auto link = dir.path() / "link";
    std::filesystem::create_symlink(sleep, link);
    EXPECT_TRUE(sign(store, link, "").isAdHoc());
    EXPECT_EQ(store.verifyFile(sleep)->path, sleep.string());
    SignatureStore other(database());
    EXPECT_EQ(sign(other, sleep).teamID, "K7QX4N2M9T");
    EXPECT_EQ(store.signatureOfFile(link)->teamID, "K7QX4N2M9T");
    EXPECT_EQ(nlohmann::json::parse(readFile(database()))["signatures"].size(), 1U);

    ASSERT_TRUE(other.remove(link).has_value());
    EXPECT_FALSE(store.signatureOfFile(sleep).has_value());
    EXPECT_THAT(store.remove(sleep).error(), HasSubstr("not signed"));

    // A file that is gone can still be forgotten by name.
    sign(store, sleep);
    std::filesystem::remove(sleep);
    EXPECT_TRUE(store.remove(sleep).has_value());
}

TEST_F(SignatureStoreTest, RefusesBadInputAndWritesNothing) {
    const auto sleep = program("sleep");
    for (const auto* identifier : {"", "com.zelquin lidora", "ü"}) {
        EXPECT_THAT(store.sign(sleep, identifier, "").error(), HasSubstr("not a valid identifier")) << identifier;
    }
    EXPECT_THAT(store.sign(sleep, "com.zelquin.lidora", "K7-QX").error(), HasSubstr("not a valid team"));
    EXPECT_THAT(store.sign(dir.path() / "missing", "com.zelquin.lidora", "").error(), HasSubstr("cannot find"));
    EXPECT_THAT(store.sign(dir.path(), "com.zelquin.lidora", "").error(), HasSubstr("not a regular file"));
    EXPECT_FALSE(std::filesystem::exists(database()));
}

TEST_F(SignatureStoreTest, ADatabaseOthersCouldChangeIsNotTrusted) {
    const auto sleep = program("sleep");
    sign(store, sleep);
    const auto saved = readFile(database());
    // Read and remembered: each change below must still be seen.
    ASSERT_TRUE(store.signatureOfFile(sleep).has_value());

    std::filesystem::permissions(database(), std::filesystem::perms(0666));
    EXPECT_FALSE(store.signatureOfFile(sleep).has_value());
    EXPECT_THAT(store.verifyFile(sleep).error(), HasSubstr("writable by group or others"));
    EXPECT_THAT(store.sign(program("other"), "com.zelquin.lidora", "").error(), HasSubstr("will not use"));
    EXPECT_EQ(readFile(database()), saved);
    std::filesystem::permissions(database(), std::filesystem::perms(0644));
    EXPECT_TRUE(store.signatureOfFile(sleep).has_value());

    std::filesystem::permissions(databaseFolder(), std::filesystem::perms(0775));
    EXPECT_THAT(store.verifyFile(sleep).error(), HasSubstr("not trusted"));
    std::filesystem::permissions(databaseFolder(), std::filesystem::perms(0755));

    // A link could lead anywhere, even to a file root owns.
    const auto elsewhere = dir.path() / "elsewhere.json";
    std::filesystem::rename(database(), elsewhere);
    std::filesystem::create_symlink(elsewhere, database());
    EXPECT_FALSE(store.signatureOfFile(sleep).has_value());
    std::filesystem::remove(database());
    std::filesystem::rename(elsewhere, database());

    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the database away needs root";
    }
    ASSERT_EQ(::chown(database().c_str(), 65534, 65534), 0);
    EXPECT_THAT(store.verifyFile(sleep).error(), HasSubstr("neither this user nor root"));
}

TEST_F(SignatureStoreTest, ADamagedDatabaseSignsNothingAndIsKept) {
    const auto sleep = program("sleep");
    sign(store, sleep);
    for (const std::string damage :
         {R"({"format":1,"signatures":[{"path":"/x"}]})", R"({"sig)", R"({"format":2,"signatures":[]})"}) {
        writeFile(database(), damage);
        EXPECT_THAT(store.verifyFile(sleep).error(), HasSubstr("damaged")) << damage;
        EXPECT_THAT(store.sign(sleep, "com.zelquin.lidora", "").error(), HasSubstr("damaged")) << damage;
        EXPECT_EQ(readFile(database()), damage);
    }
}

TEST_F(SignatureStoreTest, ConcurrentSignersLoseNoSignature) {
    std::vector<std::filesystem::path> programs;
    std::vector<std::thread> signers;
    for (int i = 0; i < 8; ++i) {
        programs.push_back(program("program" + std::to_string(i)));
        signers.emplace_back([this, path = programs.back()] {
            SignatureStore own(database());
            sign(own, path, "");
        });
    }
    for (auto& signer : signers) {
        signer.join();
    }
    for (const auto& path : programs) {
        EXPECT_TRUE(store.signatureOfFile(path).has_value()) << path;
    }
}

}  // namespace
}  // namespace lidora::vmac
