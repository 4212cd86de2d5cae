#include "file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tarnwick-file-io-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path Path(const std::string& name) const { return folder_ / name; }

    void Write(const fs::path& path, const std::string& text) const {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    fs::path folder_;
};

void ExpectError(const std::error_code& error, int errorNumber) {
    EXPECT_EQ(error.value(), errorNumber);
    EXPECT_EQ(error.message(), std::generic_category().message(errorNumber));
}

TEST_F(FileIoTest, ReadsAFileWholeIncludingZeroBytes) {
    const std::string text("a\0b\r\nc", 6);
    Write(Path("f"), text);
    const auto contents = ReadTextFile(Path("f"));
    ASSERT_TRUE(contents.ok());
    EXPECT_EQ(contents.bytes, text);
    const auto binary = ReadBinaryFile(Path("f"));
    ASSERT_TRUE(binary.ok());
    EXPECT_EQ(binary.bytes.size(), 6u);
    EXPECT_EQ(binary.bytes[1], 0u);
}

TEST_F(FileIoTest, MissingFileGivesENOENTAndNoBytes) {
    const auto contents = ReadTextFile(Path("none"));
    EXPECT_FALSE(contents.ok());
    ExpectError(contents.error, ENOENT);
    EXPECT_TRUE(contents.bytes.empty());
}

TEST_F(FileIoTest, FolderAndFifoAreRefusedWithoutBlocking) {
    ExpectError(ReadTextFile(folder_).error, EISDIR);
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ExpectError(ReadTextFile(Path("fifo")).error, EINVAL);
}

TEST_F(FileIoTest, SizeLimitAllowsExactlyTheLimit) {
    Write(Path("f"), "12345");
    EXPECT_TRUE(ReadBinaryFile(Path("f"), 5).ok());
    ExpectError(ReadBinaryFile(Path("f"), 4).error, EFBIG);
}

TEST_F(FileIoTest, ReplaceCreatesAndReplacesLeavingNoTemporary) {
    ASSERT_FALSE(ReplaceFile(Path("f"), std::string_view("first")));
    ASSERT_FALSE(ReplaceFile(Path("f"), std::string_view("second\r\n")));
    EXPECT_EQ(ReadTextFile(Path("f")).bytes, "second\r\n");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileIoTest, ReplaceWithNothingGivesAnEmptyFile) {
    Write(Path("f"), "old");
    ASSERT_FALSE(ReplaceFile(Path("f"), std::string_view()));
    const auto contents = ReadTextFile(Path("f"));
    ASSERT_TRUE(contents.ok());
    EXPECT_TRUE(contents.bytes.empty());
}

TEST_F(FileIoTest, FailureAtAnyStepKeepsTheOldFileAndRemovesTheTemporary) {
    for (ReplaceStep step : {ReplaceStep::Create, ReplaceStep::Write, ReplaceStep::Flush, ReplaceStep::Rename}) {
        Write(Path("f"), "old");
        {
            ScopedReplaceFault fault(step, ENOSPC);
            ExpectError(ReplaceFile(Path("f"), std::string_view("new contents")), ENOSPC);
        }
        EXPECT_EQ(ReadTextFile(Path("f")).bytes, "old");
        EXPECT_EQ(EntryCount(), 1u);
    }
    EXPECT_FALSE(ReplaceFile(Path("f"), std::string_view("new")));
    EXPECT_EQ(ReadTextFile(Path("f")).bytes, "new");
}

TEST_F(FileIoTest, ReplaceInAFolderThatIsAFileFails) {
    Write(Path("plain"), "x");
    ExpectError(ReplaceFile(Path("plain") / "f", std::string_view("y")), ENOTDIR);
    ExpectError(ReplaceFile(Path("missing") / "f", std::string_view("y")), ENOENT);
}

TEST_F(FileIoTest, CreateFoldersMakesParentsAndAcceptsExisting) {
    const fs::path nested = Path("a") / "b" / "c";
    EXPECT_FALSE(CreateFolders(nested));
    EXPECT_TRUE(IsExistingFolder(nested));
    EXPECT_FALSE(CreateFolders(nested));
}

TEST_F(FileIoTest, CreateFoldersThroughAFileFails) {
    Write(Path("plain"), "x");
    EXPECT_TRUE(CreateFolders(Path("plain") / "sub"));
    EXPECT_TRUE(CreateFolders(Path("plain")));
    EXPECT_FALSE(IsExistingFolder(Path("plain")));
    EXPECT_FALSE(IsExistingFolder(""));
}

}  // namespace
}  // namespace tarnwick
