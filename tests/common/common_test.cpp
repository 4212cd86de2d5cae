// SPDX-License-Identifier: GPL-2.0-or-later
// The shared helpers: files, folders, descriptors, errors and letter case.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ascii_case.h"
#include "config_folder.h"
#include "file_io.h"
#include "scoped_environment.h"
#include "sha256.h"
#include "system_error.h"
#include "temporary_folder.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
protected:
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()));
    }

    testing::TemporaryFolder folder_;
};

TEST_F(FileIoTest, ReadsAFileWholeIncludingZeroBytesUpToItsLimit) {
    const std::string text("a\0b\r\nc", 6);
    const fs::path file = folder_.write("f", text);
    const auto contents = ReadTextFile(file);
    ASSERT_TRUE(contents.ok());
    EXPECT_EQ(contents.bytes, text);
    const auto binary = ReadBinaryFile(file, 6);
    ASSERT_TRUE(binary.ok());
    EXPECT_EQ(binary.bytes, std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(ReadBinaryFile(file, 5).error, SystemError(EFBIG));
}

TEST_F(FileIoTest, MissingFilesFoldersAndFifosAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
    const struct {
        fs::path path;
        int errorNumber;
    } cases[] = {{folder_ / "none", ENOENT}, {folder_.path(), EISDIR}, {folder_ / "fifo", EINVAL}};
    for (const auto& row : cases) {
        const auto contents = ReadTextFile(row.path);
        EXPECT_EQ(contents.error, SystemError(row.errorNumber)) << row.path;
        EXPECT_TRUE(contents.bytes.empty()) << row.path;
        EXPECT_EQ(FileReadError(row.path), SystemError(row.errorNumber)) << row.path;
    }
    EXPECT_FALSE(FileReadError(folder_.write("plain", "text")));
}

TEST_F(FileIoTest, ReplaceWritesTheWholeFileOrKeepsTheOldOneAndLeavesNoTemporary) {
    const fs::path file = folder_ / "f";
    ASSERT_FALSE(ReplaceFile(file, std::string_view()));
    EXPECT_EQ(fs::file_size(file), 0u);
    for (ReplaceStep step : {ReplaceStep::Create, ReplaceStep::Write, ReplaceStep::Flush, ReplaceStep::Rename}) {
        folder_.write("f", "old");
        {
            ScopedReplaceFault fault(step, ENOSPC);
            EXPECT_EQ(ReplaceFile(file, std::string_view("new contents")), SystemError(ENOSPC));
        }
        EXPECT_EQ(testing::readText(file), "old");
        EXPECT_EQ(EntryCount(), 1u);
    }
    EXPECT_FALSE(ReplaceFile(file, std::string_view("new\r\n")));
    EXPECT_EQ(testing::readText(file), "new\r\n");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileIoTest, ANewFileNeverTakesThePlaceOfOneThatIsThere) {
    const fs::path file = folder_ / "backup.xml";
    {
        ScopedReplaceFault fault(ReplaceStep::Write, ENOSPC);
        EXPECT_EQ(WriteNewFile(file, "new"), SystemError(ENOSPC));
    }
    EXPECT_EQ(EntryCount(), 0u);
    ASSERT_FALSE(WriteNewFile(file, "first"));
    EXPECT_EQ(WriteNewFile(file, "second"), SystemError(EEXIST));
    EXPECT_EQ(testing::readText(file), "first");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileIoTest, ReplaceRemovesTemporariesThatAKilledSaveOfTheSameFileLeft) {
    const std::pair<const char*, bool> names[] = {
        {"list.xml.tmp-a1B2c3", true},   {"list.xml.tmp-XXXXXX", true},   {"list.xml.tmp-a1B2c", false},
        {"list.xml.tmp-a1B2c34", false}, {"list.xml.tmp-a1.2c3", false},  {"list.xmlx.tmp-a1B2c3", false},
        {"xlist.xml.tmp-a1B2c3", false},
    };
    for (const auto& [name, leftover] : names) {
        folder_.write(name, "x");
    }
    fs::create_directory(folder_ / "list.xml.tmp-folder");
    ASSERT_FALSE(ReplaceFile(folder_ / "list.xml", std::string_view("new")));
    for (const auto& [name, leftover] : names) {
        EXPECT_EQ(fs::exists(folder_ / name), !leftover) << name;
    }
    EXPECT_TRUE(fs::is_directory(folder_ / "list.xml.tmp-folder"));
}

// A file size limit ends the write with EFBIG instead of killing the process.
TEST_F(FileIoTest, AFileSizeLimitFailsTheReplaceAndLeavesNoTemporary) {
    const fs::path file = folder_.write("f", "old");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::error_code error = ReplaceFile(file, std::string(10000, 'x'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(error, SystemError(EFBIG));
    EXPECT_EQ(testing::readText(file), "old");
    EXPECT_EQ(EntryCount(), 1u);
}

// Dotfiles kept elsewhere and linked stay linked when the program saves.
TEST_F(FileIoTest, ReplaceWritesThroughSymlinksAndKeepsThem) {
    const struct {
        const char* link;
        fs::path target;
        const char* file;
    } cases[] = {
        {"relative", "repo/a", "repo/a"},
        {"absolute", folder_ / "repo/b", "repo/b"},
        {"chained", "relative", "repo/a"},
        {"dangling", "repo/new", "repo/new"},
    };
    folder_.write("repo/a", "old");
    folder_.write("repo/b", "old");
    for (const auto& row : cases) {
        fs::create_symlink(row.target, folder_ / row.link);
        EXPECT_FALSE(ReplaceFile(folder_ / row.link, std::string_view(row.link))) << row.link;
        EXPECT_TRUE(fs::is_symlink(folder_ / row.link)) << row.link;
        EXPECT_EQ(testing::readText(folder_ / row.file), row.link);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "repo"), fs::directory_iterator()), 3);
    fs::create_symlink("loop", folder_ / "loop");
    EXPECT_EQ(ReplaceFile(folder_ / "loop", std::string_view("x")), SystemError(ELOOP));
}

TEST_F(FileIoTest, MoveAsideTakesAFreeDatedNameAndKeepsALink) {
    folder_.write("repo/list", "first");
    fs::create_symlink("repo/list", folder_ / "list");
    const MovedAside first = MoveAside(folder_ / "list", "unreadable");
    ASSERT_FALSE(first.error);
    EXPECT_TRUE(std::regex_match(first.path.string(),
                                 std::regex(".*/repo/list\\.unreadable-[0-9]{8}-[0-9]{6}")))
        << first.path;
    EXPECT_EQ(testing::readText(first.path), "first");
    EXPECT_TRUE(fs::is_symlink(folder_ / "list"));
    EXPECT_EQ(MoveAside(folder_ / "list", "unreadable").error, SystemError(ENOENT));

    folder_.write("repo/list", "second");
    const MovedAside second = MoveAside(folder_ / "list", "unreadable");
    ASSERT_FALSE(second.error);
    EXPECT_NE(second.path, first.path);
    EXPECT_EQ(testing::readText(second.path), "second");

    fs::create_symlink("loop", folder_ / "loop");
    const MovedAside loop = MoveAside(folder_ / "loop", "unreadable");
    ASSERT_FALSE(loop.error);
    EXPECT_TRUE(fs::is_symlink(loop.path));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ / "loop")));
}

TEST_F(FileIoTest, FoldersAreMadeWithTheirParentsButNotThroughAFile) {
    const fs::path nested = folder_ / "a" / "b" / "c";
    EXPECT_FALSE(CreateFolders(nested));
    EXPECT_TRUE(IsExistingFolder(nested));
    EXPECT_FALSE(CreateFolders(nested));
    const fs::path plain = folder_.write("plain", "x");
    EXPECT_EQ(ReplaceFile(plain / "f", std::string_view("y")), SystemError(ENOTDIR));
    EXPECT_EQ(ReplaceFile(folder_ / "missing" / "f", std::string_view("y")), SystemError(ENOENT));
    EXPECT_TRUE(CreateFolders(plain / "sub"));
    EXPECT_TRUE(CreateFolders(plain));
    EXPECT_FALSE(IsExistingFolder(plain));
    EXPECT_FALSE(IsExistingFolder(""));
}

using testing::ScopedEnvironment;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndMoveLeavesTheSourceEmpty) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd reader(fds[0]);
    UniqueFd moved(std::move(reader));
    EXPECT_FALSE(reader.valid());
    moved = UniqueFd(fds[1]);  // closes the first
    EXPECT_FALSE(IsOpen(fds[0]));
    EXPECT_FALSE(moved.close());
    EXPECT_FALSE(IsOpen(fds[1]));
    EXPECT_FALSE(moved.close());
}

TEST(SystemError, CarriesTheErrnoAndTheSystemsText) {
    errno = ENOENT;
    EXPECT_EQ(LastSystemError(), SystemError(ENOENT));
    EXPECT_EQ(SystemError(EACCES).message(), "Permission denied");
}

TEST(UserFolders, TakeAnAbsoluteXdgFolderElseOneBelowHomeElseNone) {
    const struct {
        const char* xdgHome;
        const char* home;
        const char* configFolder;
        const char* dataFolder;
    } cases[] = {
        {"/xdg", "/home/tech", "/xdg/Vornix/Tarnwick", "/xdg/Vornix/Tarnwick"},
        {"relative", "/home/tech", "/home/tech/.config/Vornix/Tarnwick", "/home/tech/.local/share/Vornix/Tarnwick"},
        {"", "/home/tech", "/home/tech/.config/Vornix/Tarnwick", "/home/tech/.local/share/Vornix/Tarnwick"},
        {nullptr, "/home/tech", "/home/tech/.config/Vornix/Tarnwick", "/home/tech/.local/share/Vornix/Tarnwick"},
        {"relative", nullptr, "", ""},
        {nullptr, "", "", ""},
    };
    for (const auto& row : cases) {
        const ScopedEnvironment configHome("XDG_CONFIG_HOME", row.xdgHome);
        const ScopedEnvironment dataHome("XDG_DATA_HOME", row.xdgHome);
        const ScopedEnvironment home("HOME", row.home);
        EXPECT_EQ(ConfigFolder(), std::filesystem::path(row.configFolder))
            << (row.xdgHome ? row.xdgHome : "unset") << ", " << (row.home ? row.home : "unset");
        EXPECT_EQ(DataFolder(), std::filesystem::path(row.dataFolder))
            << (row.xdgHome ? row.xdgHome : "unset") << ", " << (row.home ? row.home : "unset");
    }
}

// Known answers of FIPS 180-2, the last over many blocks.
TEST(Sha256, GivesTheStandardsKnownAnswers) {
    const auto bytes = [](std::string_view text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::vector<std::uint8_t>(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A file over many read pieces digests as its bytes do; what cannot be read has none.
TEST_F(FileIoTest, AFileIsDigestedAPieceAtATime) {
    const std::string text(3 * kReadPiece + 7, 'a');
    EXPECT_EQ(FileSha256Hex(folder_.write("f", text)),
              Sha256Hex(std::vector<std::uint8_t>(text.begin(), text.end())));
    EXPECT_EQ(FileSha256Hex(folder_.write("empty", "")), Sha256Hex({}));
    EXPECT_EQ(FileSha256Hex(folder_.path()), std::nullopt);
    EXPECT_EQ(FileSha256Hex(folder_ / "none"), std::nullopt);
}

TEST(AsciiCase, OnlyAsciiLettersHaveACase) {
    EXPECT_TRUE(EqualIgnoringCase("Release 2.01", "rELEASE 2.01"));
    EXPECT_FALSE(EqualIgnoringCase("Release", "Releases"));
    EXPECT_FALSE(EqualIgnoringCase("\xC4", "\xE4"));  // Latin-1 letters stay as they are
    EXPECT_FALSE(EqualIgnoringCase("[", "{"));
    EXPECT_TRUE(LessIgnoringCase("alpha", "Beta"));
    EXPECT_FALSE(LessIgnoringCase("Beta", "alpha"));
    EXPECT_TRUE(LessIgnoringCase("Beta", "betas"));
    EXPECT_TRUE(StartsWithIgnoringCase("Release 2.01", "RELEASE"));
    EXPECT_FALSE(StartsWithIgnoringCase("Rel", "Release"));
    EXPECT_EQ(LowerAscii("ZoomCam Z-1 \xC4"), "zoomcam z-1 \xC4");
}

}  // namespace
}  // namespace tarnwick
