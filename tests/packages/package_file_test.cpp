#include "package_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "catalogues.h"
#include "guid.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kUcGuid = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";
constexpr std::string_view kFpgaGuid = "{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}";
constexpr std::string_view kBootGuid = "{728F4F3D-0BED-499A-8385-5ECBE8116317}";
constexpr std::string_view kUnknownGuid = "{11111111-2222-3333-4444-555555555555}";
constexpr std::uint32_t kBootRegion = 0x4000;

class RecordingMessages final : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view, MessageIcon) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

Bytes Pattern(std::size_t size, unsigned seed = 1) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 13 + seed) ^ (i >> 7));
    }
    return bytes;
}

std::string Element(std::string_view name, std::string_view value) {
    return "<" + std::string(name) + ">" + std::string(value) + "</" + std::string(name) + ">\r\n";
}

std::string Wrap(std::string_view name, const std::vector<std::string>& children) {
    std::string text = "<" + std::string(name) + ">\r\n";
    for (const std::string& child : children) {
        text += child;
    }
    return text + "</" + std::string(name) + ">\r\n";
}

// A file element with its children in the given order.
std::string FileElement(std::vector<std::pair<std::string, std::string>> children) {
    std::vector<std::string> elements;
    for (const auto& [name, value] : children) {
        elements.push_back(Element(name, value));
    }
    return Wrap("file", elements);
}

std::string FileOf(std::string_view guid, const Bytes& image, std::string_view fileName = "fw.bin") {
    return FileElement({{"guid", std::string(guid)},
                        {"file", std::string(fileName)},
                        {"type", "1"},
                        {"version", "513"},
                        {"size", std::to_string(image.size())},
                        {"time", "1159990000"},
                        {"data", EncodeImage(image).base64}});
}

std::string DataFileOf(std::string_view guid, std::string_view base64) {
    return FileElement({{"guid", std::string(guid)}, {"data", std::string(base64)}});
}

class PackageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick_pkg_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, std::string_view bytes) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string WritePackage(const std::vector<std::string>& rootChildren) {
        return Write("package.xml", Wrap("pkg", rootChildren));
    }

    Package Read(const std::string& path) {
        auto package = OpenPackage("unnamed", path, messages_);
        EXPECT_TRUE(package);
        return package ? std::move(*package) : Package("", "");
    }

    // The package's only item of the given type, loaded; the raised text when
    // loading raises one.
    std::string LoadFailureText(const std::string& path, std::string_view guid) {
        Package package = Read(path);
        PackageItem* item = package.FindItemByGuid(*ParseGuid(guid));
        if (item == nullptr) {
            return "no item";
        }
        try {
            const LoadResult result = LoadItemData(package, item, messages_);
            return "result " + std::to_string(static_cast<unsigned>(result));
        } catch (const PackageDataError& error) {
            EXPECT_FALSE(item->hasData());
            return error.what();
        }
    }

    std::filesystem::path folder_;
    RecordingMessages messages_;
};

TEST_F(PackageFileTest, ReadsWhatTheToolWrote) {
    PackageContents contents;
    contents.name = "Corvel uC & FPGA";
    contents.time = 1160000000;
    contents.files.push_back({*ParseGuid(kUcGuid), "corvel_uc.bin", 1, 513, 1159990000, Pattern(3000)});
    contents.files.push_back({*ParseGuid(kFpgaGuid), "corvel.rbf", 4, 0x010A, 0, Pattern(100, 7)});
    const std::string path = Write("tool.xml", BuildPackageText(contents));

    Package package = Read(path);
    EXPECT_EQ(package.name(), "Corvel uC & FPGA");
    EXPECT_EQ(package.path(), path);
    ASSERT_EQ(package.itemCount(), 2u);
    const PackageItem& uc = package.items()[0];
    EXPECT_EQ(uc.typeName, "Corvel::uC");
    EXPECT_EQ(uc.platform, kPlatformCorvel);
    EXPECT_EQ(uc.fileName, "corvel_uc.bin");
    EXPECT_EQ(uc.cameraType, 1u);
    EXPECT_EQ(FormatVersion(uc.version), "2.01");
    EXPECT_EQ(uc.fileSize, 3000u);
    EXPECT_EQ(uc.fileTime, (FileTime{2006, 10, 3, 4, 19, 26, 40, 0}));
    EXPECT_FALSE(uc.hasData());
    EXPECT_EQ(package.items()[1].typeName, "Corvel::FPGA");
    EXPECT_EQ(package.items()[1].fileTime, (FileTime{1970, 1, 4, 1, 0, 0, 0, 0}));

    ASSERT_TRUE(LoadAllItemData(package, messages_));
    EXPECT_EQ(Bytes(uc.data().begin(), uc.data().end()), Pattern(3000));
    EXPECT_EQ(package.items()[1].dataLength(), 100u);
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(PackageFileTest, NameIsReadBeforeOrAfterTheTime) {
    const std::string item = FileOf(kUcGuid, Pattern(10));
    Package after = Read(WritePackage({Element("time", "5"), Element("packagename", "After"), item}));
    EXPECT_EQ(after.name(), "After");
    EXPECT_EQ(after.itemCount(), 1u);
    Package before = Read(WritePackage({Element("packagename", "Before"), Element("time", "5"), item}));
    EXPECT_EQ(before.name(), "Before");
    EXPECT_EQ(before.itemCount(), 1u);
    Package unnamed = Read(WritePackage({item}));
    EXPECT_EQ(unnamed.name(), "unnamed");
}

TEST_F(PackageFileTest, FileBeforeTheNameIsNoItemButItsDataIsFound) {
    const std::string path = WritePackage(
        {FileOf(kFpgaGuid, Pattern(40, 3)), Element("packagename", "P"), FileOf(kUcGuid, Pattern(20))});
    Package package = Read(path);
    ASSERT_EQ(package.itemCount(), 1u);
    EXPECT_EQ(package.items()[0].typeName, "Corvel::uC");

    PackageItem fpga(*FindImageType(*ParseGuid(kFpgaGuid)));
    ASSERT_EQ(LoadItemData(package, &fpga, messages_), LoadResult::Loaded);
    EXPECT_EQ(Bytes(fpga.data().begin(), fpga.data().end()), Pattern(40, 3));
}

TEST_F(PackageFileTest, ChildrenInReverseOrderGiveTheSameItem) {
    const Bytes image = Pattern(64);
    const std::string data = EncodeImage(image).base64;
    std::vector<std::pair<std::string, std::string>> children{
        {"guid", std::string(kUcGuid)}, {"file", "a.bin"}, {"type", "3"},        {"version", "258"},
        {"size", "64"},                 {"time", "0"},     {"bz2size", "1"},     {"b64size", "1"},
        {"data", data}};
    Package forward = Read(WritePackage({FileElement(children)}));
    std::reverse(children.begin(), children.end());
    Package reverse = Read(WritePackage({FileElement(children)}));
    ASSERT_EQ(forward.itemCount(), 1u);
    ASSERT_EQ(reverse.itemCount(), 1u);
    const PackageItem& a = forward.items()[0];
    const PackageItem& b = reverse.items()[0];
    EXPECT_EQ(std::tie(a.typeName, a.fileName, a.cameraType, a.version, a.fileSize),
              std::tie(b.typeName, b.fileName, b.cameraType, b.version, b.fileSize));
    EXPECT_EQ(b.fileTime, a.fileTime);
    ASSERT_EQ(LoadItemData(reverse, &reverse.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(reverse.items()[0].dataLength(), 64u);
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
        DataFileOf("{CFCx136C-DC35-4871-898C-0EE8AD4F20A0}", good),
        DataFileOf("{CFC5136C-DC35-4871-898C-zEE8AD4F20A0}", good),
        DataFileOf(kBootGuid, good),
    }));
    ASSERT_EQ(package.itemCount(), 1u);
    EXPECT_EQ(package.items()[0].typeName, "Corvel::Bootloader");
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(PackageFileTest, RepeatedTypeGivesTwoItemsAndLoadingFindsTheFirstElement) {
    Package package = Read(WritePackage({FileOf(kUcGuid, Pattern(5, 1)), FileOf(kUcGuid, Pattern(9, 2))}));
    ASSERT_EQ(package.itemCount(), 2u);
    ASSERT_EQ(LoadItemData(package, &package.items()[1], messages_), LoadResult::Loaded);
    EXPECT_EQ(package.items()[1].dataLength(), 5u);
}

TEST_F(PackageFileTest, LoadingSkipsFileElementsWithoutGuid) {
    const std::string path = WritePackage({FileOf(kUcGuid, Pattern(12))});
    Package package = Read(path);
    Write("package.xml", Wrap("pkg", {FileElement({{"data", "QUJD"}}), FileOf(kUcGuid, Pattern(12))}));
    ASSERT_EQ(LoadItemData(package, &package.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(package.items()[0].dataLength(), 12u);
}

TEST_F(PackageFileTest, CompressedImageMayBeAsLongAsItsRegionButNoLonger) {
    Bytes stream = CompressBzip2(Pattern(100));
    // The decompressor stops at the end of the stream, so padding only
    // changes the compressed length.
    stream.resize(kBootRegion, 0);
    EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kBootGuid, EncodeBase64(stream))}), kBootGuid), "result 0");
    stream.push_back(0);
    EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kBootGuid, EncodeBase64(stream))}), kBootGuid),
              "input file execeeds max allowed size");
}

TEST_F(PackageFileTest, ImageMayDecompressToItsRegionPlusFourKilobytes) {
    const std::string fits = WritePackage({DataFileOf(kBootGuid, EncodeImage(Pattern(kBootRegion + 4096)).base64)});
    EXPECT_EQ(LoadFailureText(fits, kBootGuid), "result 0");
    const std::string over = WritePackage({DataFileOf(kBootGuid, EncodeImage(Pattern(kBootRegion + 4097)).base64)});
    EXPECT_EQ(LoadFailureText(over, kBootGuid), "Can't decompress file. (-8)");
}

TEST_F(PackageFileTest, DamagedStreamsRaiseTheLibrarysCode) {
    Bytes stream = CompressBzip2(Pattern(5000));
    stream[stream.size() / 2] ^= 0x55;
    EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kUcGuid, EncodeBase64(stream))}), kUcGuid),
              "Can't decompress file. (-4)");
    EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kUcGuid, "QUJD")}), kUcGuid), "Can't decompress file. (-5)");
}

TEST_F(PackageFileTest, BadBase64IsRaisedAndLeavesNoData) {
    for (std::string_view text : {"QUJD=", "Q=", "QUJD\r\nQUJD", "QU JD", "QU*D"}) {
        EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kUcGuid, text)}), kUcGuid), "base64 decode failed")
            << text;
    }
}

TEST_F(PackageFileTest, DataInACdataSectionIsTakenAsItStands) {
    const std::string data = "<![CDATA[" + EncodeImage(Pattern(33)).base64 + "]]>";
    EXPECT_EQ(LoadFailureText(WritePackage({DataFileOf(kUcGuid, data)}), kUcGuid), "result 0");
}

TEST_F(PackageFileTest, FileLevelFailuresAreResultCodes) {
    const std::string path = WritePackage({DataFileOf(kUcGuid, EncodeImage(Pattern(10)).base64)});
    Package package = Read(path);
    EXPECT_EQ(LoadItemData(package, nullptr, messages_), LoadResult::NoPackageItem);

    PackageItem fpga(*FindImageType(*ParseGuid(kFpgaGuid)));
    EXPECT_EQ(LoadItemData(package, &fpga, messages_), LoadResult::NoFileElement);

    Write("package.xml", Wrap("pkg", {DataFileOf(kUnknownGuid, "QUJD")}));
    PackageItem unknown;
    unknown.typeGuid = *ParseGuid(kUnknownGuid);
    EXPECT_EQ(LoadItemData(package, &unknown, messages_), LoadResult::UnknownImageType);

    PackageItem& uc = package.items()[0];
    uc.setData({1, 2, 3});
    Write("package.xml", "no markup at all");
    EXPECT_EQ(LoadItemData(package, &uc, messages_), LoadResult::PackageUnreadable);
    EXPECT_FALSE(uc.hasData());
    std::filesystem::remove(path);
    EXPECT_EQ(LoadItemData(package, &uc, messages_), LoadResult::PackageUnreadable);
}

TEST_F(PackageFileTest, UnreadablePackageFilesOpenNothing) {
    EXPECT_FALSE(OpenPackage("x", (folder_ / "missing.xml").string(), messages_));
    EXPECT_FALSE(OpenPackage("x", Write("empty.xml", ""), messages_));
    EXPECT_FALSE(OpenPackage("x", Write("broken.xml", "<pkg><file></pkg>"), messages_));
    const auto userBuilt = OpenPackage("mine", "", messages_);
    ASSERT_TRUE(userBuilt);
    EXPECT_EQ(userBuilt->name(), "mine");
    EXPECT_EQ(userBuilt->itemCount(), 0u);
    // Files that cannot be opened fail quietly; the caller decides what to say.
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(PackageFileTest, FailedReadKeepsThePackagesItems) {
    Package package("kept", Write("broken.xml", "<pkg>"));
    package.AddItem(PackageItem(*FindImageType(*ParseGuid(kUcGuid))));
    EXPECT_FALSE(ReadPackage(package, messages_));
    EXPECT_EQ(package.itemCount(), 1u);
    EXPECT_EQ(package.name(), "kept");
}

TEST_F(PackageFileTest, TimesTheConversionRejectsLeaveNoTime) {
    Package package = Read(WritePackage({FileElement({{"guid", std::string(kUcGuid)},
                                                      {"time", "-5"},
                                                      {"data", EncodeImage(Pattern(4)).base64}})}));
    ASSERT_EQ(package.itemCount(), 1u);
    EXPECT_EQ(package.items()[0].fileTime, FileTime{});
}

class UserBuiltPackageTest : public PackageFileTest {
protected:
    PackageItem ItemFor(std::string_view guid, std::string fileName) {
        PackageItem item(*FindImageType(*ParseGuid(guid)));
        item.fileName = std::move(fileName);
        return item;
    }

    Package package_{"mine", ""};
};

TEST_F(UserBuiltPackageTest, LoadsTheRawFileWithoutSizeCheck) {
    const std::string raw(kBootRegion * 2, 'z');
    package_.AddItem(ItemFor(kBootGuid, Write("boot.bin", raw)));
    ASSERT_EQ(LoadItemData(package_, &package_.items()[0], messages_), LoadResult::Loaded);
    EXPECT_EQ(package_.items()[0].dataLength(), raw.size());
    EXPECT_EQ(LoadItemData(package_, nullptr, messages_), LoadResult::NoItem);
}

TEST_F(UserBuiltPackageTest, MissingAndUnreadableFilesAreResultCodes) {
    PackageItem none = ItemFor(kUcGuid, "");
    EXPECT_EQ(LoadItemData(package_, &none, messages_), LoadResult::NoFile);
    PackageItem missing = ItemFor(kUcGuid, (folder_ / "gone.bin").string());
    EXPECT_EQ(LoadItemData(package_, &missing, messages_), LoadResult::NoFile);
    PackageItem folder = ItemFor(kUcGuid, folder_.string());
    EXPECT_EQ(LoadItemData(package_, &folder, messages_), LoadResult::FileReadFailed);
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(UserBuiltPackageTest, FailureOfTheSecondItemLeavesNoItemWithData) {
    package_.AddItem(ItemFor(kBootGuid, Write("boot.bin", "boot")));
    package_.AddItem(ItemFor(kUcGuid, (folder_ / "missing.bin").string()));
    EXPECT_FALSE(LoadAllItemData(package_, messages_));
    for (const PackageItem& item : package_.items()) {
        EXPECT_FALSE(item.hasData()) << item.typeName;
    }
    Package empty("empty", "");
    EXPECT_TRUE(LoadAllItemData(empty, messages_));
}

TEST_F(PackageFileTest, RaisedErrorOfTheSecondItemLeavesNoItemWithData) {
    Package package = Read(WritePackage({FileOf(kBootGuid, Pattern(10)), DataFileOf(kUcGuid, "QUJD")}));
    ASSERT_EQ(package.itemCount(), 2u);
    try {
        LoadAllItemData(package, messages_);
        FAIL() << "no error raised";
    } catch (const PackageDataError& error) {
        EXPECT_STREQ(error.what(), "Can't decompress file. (-5)");
    }
    EXPECT_FALSE(package.items()[0].hasData());
    EXPECT_FALSE(package.items()[1].hasData());
}

}  // namespace
}  // namespace tarnwick
