// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogues.h"
#include "guid.h"
#include "package_test_support.h"
#include "package_writer.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

constexpr std::uint32_t kBootRegion = 0x4000;

using Children = std::vector<std::pair<std::string, std::string>>;

std::string Element(std::string_view name, std::string_view value) {
    return "<" + std::string(name) + ">" + std::string(value) + "</" + std::string(name) + ">\r\n";
}

std::string FileElement(const Children& children) {
    std::string text = "<file>\r\n";
    for (const auto& [name, value] : children) {
        text += Element(name, value);
    }
    return text + "</file>\r\n";
}

std::string DataFileOf(std::string_view guid, std::string_view base64) {
    return FileElement({{"guid", std::string(guid)}, {"data", std::string(base64)}});
}

std::string FileOf(std::string_view guid, const Bytes& image) { return DataFileOf(guid, EncodeImage(image).base64); }

class PackageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    std::string WritePackage(const std::vector<std::string>& rootChildren) const {
        std::string text = "<pkg>\r\n";
        for (const std::string& child : rootChildren) {
            text += child;
        }
        return folder_.write("package.xml", text + "</pkg>\r\n");
    }

    Package Read(const std::string& path) {
        auto package = OpenPackage("unnamed", path, messages_);
        EXPECT_TRUE(package);
        return package ? std::move(*package) : Package("", "");
    }

    // Loads the item of that type from a package of the one file element:
    // "result N", or the text raised (the item then holds no data).
    std::string LoadOutcome(std::string_view guid, std::string_view base64) {
        Package package = Read(WritePackage({DataFileOf(guid, base64)}));
        PackageItem* item = package.FindItemByGuid(ParseGuidOrZero(guid));
        if (item == nullptr) {
            return "no item";
        }
        try {
            return "result " + std::to_string(static_cast<unsigned>(LoadItemData(package, item, messages_)));
        } catch (const PackageDataError& error) {
            EXPECT_FALSE(item->hasData());
            return error.what();
        }
    }

    testing::TemporaryFolder folder_;
    testing::RecordingMessages messages_;
};

TEST_F(PackageFileTest, ReadsWhatTheToolWrote) {
    PackageContents contents;
    contents.name = "Corvel uC & FPGA";
    contents.time = 1160000000;
    contents.files.push_back({ParseGuidOrZero(kUcGuid), "corvel_uc.bin", 1, 513, 1159990000, Pattern(3000)});
    contents.files.push_back({ParseGuidOrZero(kFpgaGuid), "corvel.rbf", 4, 0x010A, 0, Pattern(100, 7)});
    const std::string path = folder_.write("tool.xml", BuildPackageText(contents));

    Package package = Read(path);
    EXPECT_EQ(package.name(), "Corvel uC & FPGA");
    ASSERT_EQ(package.itemCount(), 2u);
    const PackageItem& uc = package.items()[0];
    EXPECT_EQ(std::tie(uc.typeName, uc.fileName, uc.cameraType, uc.version, uc.fileSize),
              std::tuple("Corvel::uC", "corvel_uc.bin", 1u, 513u, 3000u));
    EXPECT_EQ(uc.fileTime, (FileTime{2006, 10, 4, 19, 26, 40, 0}));
    EXPECT_FALSE(uc.hasData());
    EXPECT_EQ(package.items()[1].fileTime, (FileTime{1970, 1, 1, 0, 0, 0, 0}));

    ASSERT_EQ(LoadEveryItemData(package, messages_), std::nullopt);
    EXPECT_EQ(BytesOf(uc), Pattern(3000));
    EXPECT_EQ(BytesOf(package.items()[1]), Pattern(100, 7));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageFileTest, NameIsReadBeforeOrAfterTheTimeAndFilesBeforeItAreNoItemsButTheirDataIsFound) {
    const std::string uc = FileOf(kUcGuid, Pattern(10));
    const auto nameAndItems = [&](const std::vector<std::string>& children) {
        const Package package = Read(WritePackage(children));
        return package.name() + " " + std::to_string(package.itemCount());
    };
    EXPECT_EQ(nameAndItems({Element("time", "5"), Element("packagename", "After"), uc}), "After 1");
    EXPECT_EQ(nameAndItems({Element("packagename", "Before"), Element("time", "5"), uc}), "Before 1");
    EXPECT_EQ(nameAndItems({uc}), "unnamed 1");

    Package package = Read(WritePackage({FileOf(kFpgaGuid, Pattern(40, 3)), Element("packagename", "P"), uc}));
    ASSERT_EQ(package.itemCount(), 1u);
    PackageItem fpga = ItemOfType(kFpgaGuid);
    ASSERT_EQ(LoadItemData(package, &fpga, messages_), LoadResult::Loaded);
    EXPECT_EQ(BytesOf(fpga), Pattern(40, 3));
}

TEST_F(PackageFileTest, ChildrenInReverseOrderGiveTheSameItem) {
    Children children{{"guid", std::string(kUcGuid)}, {"file", "a.bin"}, {"type", "3"},
                      {"version", "258"},             {"size", "64"},    {"time", "0"},
                      {"bz2size", "1"},               {"b64size", "1"},  {"data", EncodeImage(Pattern(64)).base64}};
    Package forward = Read(WritePackage({FileElement(children)}));
    std::reverse(children.begin(), children.end());
    Package reverse = Read(WritePackage({FileElement(children)}));
    ASSERT_EQ(forward.itemCount(), 1u);
    ASSERT_EQ(reverse.itemCount(), 1u);
    const PackageItem& a = forward.items()[0];
    PackageItem& b = reverse.items()[0];
    EXPECT_EQ(std::tie(a.typeName, a.fileName, a.cameraType, a.version, a.fileSize, a.fileTime),
              std::tie(b.typeName, b.fileName, b.cameraType, b.version, b.fileSize, b.fileTime));
    ASSERT_EQ(LoadItemData(reverse, &b, messages_), LoadResult::Loaded);
    EXPECT_EQ(BytesOf(b), Pattern(64));
}

TEST_F(PackageFileTest, ItemsThatCannotBeProgrammedAreDroppedSilently) {
    const std::string good = EncodeImage(Pattern(8)).base64;
    Package package = Read(WritePackage({
        Element("packagename", "Mixed"),
        DataFileOf(kUnknownGuid, good),
        FileElement({{"guid", std::string(kUcGuid)}, {"data", ""}}),
        FileElement({{"guid", std::string(kUcGuid)}, {"file", "nodata.bin"}}),
        FileElement({{"file", "noguid.bin"}, {"data", good}}),
        DataFileOf("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0-0000}", good),
        FileElement({{"guid", std::string(kBootGuid)}, {"time", "-5"}, {"data", good}}),
    }));
    ASSERT_EQ(package.itemCount(), 1u);
    EXPECT_EQ(package.items()[0].typeName, "Corvel::Bootloader");
    EXPECT_EQ(package.items()[0].fileTime, FileTime{});  // a time the conversion rejects
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageFileTest, EachItemLoadsItsOwnFileElementEvenWhenItsTypeRepeats) {
    Package repeated = Read(WritePackage({FileOf(kUcGuid, Pattern(3, 4)), Element("packagename", "Twice"),
                                          FileOf(kUcGuid, Pattern(5, 1)), DataFileOf(kUcGuid, ""),
                                          FileOf(kUcGuid, Pattern(9, 2))}));
    ASSERT_EQ(repeated.itemCount(), 2u);
    ASSERT_EQ(LoadEveryItemData(repeated, messages_), std::nullopt);
    EXPECT_EQ(BytesOf(repeated.items()[0]), Pattern(5, 1));
    EXPECT_EQ(BytesOf(repeated.items()[1]), Pattern(9, 2));

    // Once the file changed and its element holds no image of its type, an
    // item loads the first element of its type.
    Package package = Read(WritePackage({FileOf(kUcGuid, Pattern(12))}));
    WritePackage({FileElement({{"data", "QUJD"}}), FileOf(kUcGuid, Pattern(12))});
    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(BytesOf(package.items()[0]), Pattern(12));
}

TEST_F(PackageFileTest, DataFailuresRaiseTheUsersTextAndLeaveNoData) {
    Bytes fullRegion = CompressBzip2(Pattern(100));
    // The decompressor stops at the end of the stream, so padding only
    // changes the compressed length.
    fullRegion.resize(kBootRegion, 0);
    Bytes overRegion = fullRegion;
    overRegion.push_back(0);
    Bytes damaged = CompressBzip2(Pattern(5000));
    damaged[damaged.size() / 2] ^= 0x55;
    const struct {
        const char* name;
        std::string base64;
        const char* outcome;
    } cases[] = {
        {"compressed as long as the region", EncodeBase64(fullRegion), "result 0"},
        {"compressed one byte longer", EncodeBase64(overRegion), "input file execeeds max allowed size"},
        {"region plus 4096 bytes", EncodeImage(Pattern(kBootRegion + 4096)).base64, "result 0"},
        {"one byte more", EncodeImage(Pattern(kBootRegion + 4097)).base64, "Can't decompress file. (-8)"},
        {"damaged stream", EncodeBase64(damaged), "Can't decompress file. (-4)"},
        {"QUJD is no bzip2", "QUJD", "Can't decompress file. (-5)"},
        {"QUJD=", "QUJD=", "base64 decode failed"},
        {"CDATA taken as it stands", "<![CDATA[" + EncodeImage(Pattern(33)).base64 + "]]>", "result 0"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(LoadOutcome(kBootGuid, row.base64), row.outcome) << row.name;
    }
}

TEST_F(PackageFileTest, FileLevelFailuresAreResultCodes) {
    const std::string path = WritePackage({DataFileOf(kUcGuid, EncodeImage(Pattern(10)).base64)});
    Package package = Read(path);
    EXPECT_EQ(LoadItemData(package, nullptr, messages_), LoadResult::NoPackageItem);

    PackageItem fpga = ItemOfType(kFpgaGuid);
    EXPECT_EQ(LoadItemData(package, &fpga, messages_), LoadResult::NoFileElement);

    WritePackage({DataFileOf(kUnknownGuid, "QUJD")});
    PackageItem unknown;
    unknown.typeGuid = ParseGuidOrZero(kUnknownGuid);
    EXPECT_EQ(LoadItemData(package, &unknown, messages_), LoadResult::UnknownImageType);

    PackageItem& uc = package.items()[0];
    uc.setData({1, 2, 3});
    folder_.write("package.xml", "no markup at all");
    EXPECT_EQ(LoadItemData(package, &uc, messages_), LoadResult::PackageUnreadable);
    EXPECT_FALSE(uc.hasData());
    std::filesystem::remove(path);
    EXPECT_EQ(LoadItemData(package, &uc, messages_), LoadResult::PackageUnreadable);
}

TEST_F(PackageFileTest, UnreadablePackageFilesOpenNothingAndChangeNothing) {
    EXPECT_FALSE(OpenPackage("x", folder_ / "missing.xml", messages_));
    EXPECT_FALSE(OpenPackage("x", folder_.write("empty.xml", ""), messages_));
    EXPECT_FALSE(OpenPackage("x", folder_.write("broken.xml", "<pkg><file></pkg>"), messages_));
    const auto userBuilt = OpenPackage("mine", "", messages_);
    ASSERT_TRUE(userBuilt);
    EXPECT_EQ(userBuilt->itemCount(), 0u);

    Package kept("kept", folder_.write("broken.xml", "<pkg>"));
    kept.AddItem(ItemOfType(kUcGuid));
    EXPECT_FALSE(ReadPackage(kept, messages_));
    EXPECT_EQ(kept.itemCount(), 1u);
    EXPECT_EQ(kept.name(), "kept");
    // Files that cannot be opened fail quietly; the caller decides what to say.
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageFileTest, UserBuiltLoadsTheRawFileWithoutSizeCheckAndGivesCodesForMissingFiles) {
    Package mine("mine", "");
    const std::string raw(kBootRegion * 2, 'z');
    mine.AddItem(ItemOfType(kBootGuid, folder_.write("boot.bin", raw)));
    ASSERT_EQ(LoadItemData(mine, &mine.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(mine.items()[0].dataLength(), raw.size());
    EXPECT_EQ(LoadItemData(mine, nullptr, messages_), LoadResult::NoItem);

    PackageItem none = ItemOfType(kUcGuid);
    EXPECT_EQ(LoadItemData(mine, &none, messages_), LoadResult::NoFile);
    PackageItem missing = ItemOfType(kUcGuid, folder_ / "gone.bin");
    EXPECT_EQ(LoadItemData(mine, &missing, messages_), LoadResult::NoFile);
    PackageItem folder = ItemOfType(kUcGuid, folder_.path());
    EXPECT_EQ(LoadItemData(mine, &folder, messages_), LoadResult::FileReadFailed);
    EXPECT_TRUE(messages_.shown.empty());
}

// Whether the second item fails with a raised text or a result, the first
// keeps no data.
TEST_F(PackageFileTest, AFailureOfTheSecondItemLeavesNoItemWithData) {
    Package package = Read(WritePackage({FileOf(kBootGuid, Pattern(10)), DataFileOf(kUcGuid, "QUJD")}));
    const std::optional<ItemLoadFailure> raised = LoadEveryItemData(package, messages_);
    ASSERT_TRUE(raised.has_value());
    EXPECT_EQ(raised->item, 1u);
    EXPECT_FALSE(raised->raised.empty());
    Package mine("mine", "");
    mine.AddItem(ItemOfType(kBootGuid, folder_.write("boot.bin", "boot")));
    mine.AddItem(ItemOfType(kUcGuid, folder_ / "missing.bin"));
    const std::optional<ItemLoadFailure> missing = LoadEveryItemData(mine, messages_);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->item, 1u);
    for (const Package* loaded : {&package, &mine}) {
        ASSERT_EQ(loaded->itemCount(), 2u);
        EXPECT_FALSE(loaded->items()[0].hasData()) << loaded->name();
        EXPECT_FALSE(loaded->items()[1].hasData()) << loaded->name();
    }
    Package empty("empty", "");
    EXPECT_EQ(LoadEveryItemData(empty, messages_), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
