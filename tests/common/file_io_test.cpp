#include "file_io.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>

#include "system_error.h"
#include "temporary_folder.h"

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
    }
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

}  // namespace
}  // namespace tarnwick
