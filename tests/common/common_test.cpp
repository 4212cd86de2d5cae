// SPDX-License-Identifier: GPL-2.0-or-later
// The shared helpers: files, folders, descriptors, errors and letter case.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>

#include "ascii_case.h"
#include "config_folder.h"
#include "file_io.h"
#include "scoped_environment.h"
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

TEST(ConfigFolder, TakesAnAbsoluteXdgConfigHomeElseHomeElseNone) {
    const struct {
        const char* configHome;
        const char* home;
        const char* folder;
    } cases[] = {
        {"/cfg", "/home/tech", "/cfg/Vornix/Tarnwick"},
        {"relative", "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {"", "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {nullptr, "/home/tech", "/home/tech/.config/Vornix/Tarnwick"},
        {"relative", nullptr, ""},
        {nullptr, "", ""},
    };
    for (const auto& row : cases) {
        const ScopedEnvironment configHome("XDG_CONFIG_HOME", row.configHome);
        const ScopedEnvironment home("HOME", row.home);
        EXPECT_EQ(ConfigFolder(), std::filesystem::path(row.folder))
            << (row.configHome ? row.configHome : "unset") << ", " << (row.home ? row.home : "unset");
    }
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
