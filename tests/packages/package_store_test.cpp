#include "package_store.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalogues.h"
#include "file_io.h"
#include "firmware_import.h"
#include "guid.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBootloaderGuid = "{728F4F3D-0BED-499A-8385-5ECBE8116317}";
constexpr std::string_view kUcGuid = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class RecordingMessages : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        shown.push_back({std::string(text), std::string(caption), icon});
    }
    std::vector<ShownMessage> shown;
};

PackageItem ItemOfType(std::string_view guidText, std::string fileName) {
    const ImageType* type = FindImageType(ParseGuidOrZero(guidText));
    EXPECT_NE(type, nullptr) << guidText;
    PackageItem item(*type);
    item.fileName = std::move(fileName);
    return item;
}

class PackageListTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tarnwick-list-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        configPath_ = folder_.string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string ListFile() const { return (folder_ / "Tarnwick.packages.xml").string(); }

    std::string ListText() const {
        std::ifstream in(ListFile(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void WriteList(const std::string& text) const { std::ofstream(ListFile(), std::ios::binary) << text; }

    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // The example list: a user-built package of two items, then a package
    // read from a package file.
    PackageStore ExampleStore() const {
        PackageStore store;
        Package& lab = store.Add(Package("Lab set", ""));
        lab.AddItem(ItemOfType(kBootloaderGuid, "C:\\fw\\boot.bin"));
        lab.AddItem(ItemOfType(kUcGuid, ""));
        Package& release = store.Add(Package("Release 2.01", "C:\\pkg\\release.xml"));
        release.AppendItem(ItemOfType(kUcGuid, "uc.bin"));
        return store;
    }

    void SaveAndReload(const PackageStore& saved, PackageStore& loaded) {
        SavePackageList(saved, configPath_, messages_);
        LoadPackageList(loaded, configPath_, messages_);
    }

    fs::path folder_;
    std::string configPath_;
    RecordingMessages messages_;
};

TEST_F(PackageListTest, WritesTheExampleFileByteForByte) {
    SavePackageList(ExampleStore(), configPath_, messages_);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(ListText(),
              "<config>\r\n"
              "<package updpackage=\"0\">\r\n"
              "<name>Lab set</name>\r\n"
              "<files>2</files>\r\n"
              "<file>\r\n"
              "<id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id>\r\n"
              "<name>Corvel::Bootloader</name>\r\n"
              "<path>C:\\fw\\boot.bin</path>\r\n"
              "</file>\r\n"
              "<file>\r\n"
              "<id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id>\r\n"
              "<name>Corvel::uC</name>\r\n"
              "<path/>\r\n"
              "</file>\r\n"
              "</package>\r\n"
              "<package updpackage=\"1\">\r\n"
              "<name>Release 2.01</name>\r\n"
              "<files>0</files>\r\n"
              "<path>C:\\pkg\\release.xml</path>\r\n"
              "</package>\r\n"
              "</config>\r\n");
}

TEST_F(PackageListTest, PackagesWithoutItemsAreLeftOut) {
    PackageStore store;
    store.Add(Package("Empty", ""));
    store.Add(Package("Also empty", "/x.xml"));
    EXPECT_EQ(BuildPackageListText(store), "<config/>\r\n");
    EXPECT_EQ(BuildPackageListText(PackageStore{}), "<config/>\r\n");
}

TEST_F(PackageListTest, TheFileLiesInTheConfigPathFolder) {
    EXPECT_EQ(PackageListPath("/home/tech/data"), "/home/tech/data/Tarnwick.packages.xml");
}

TEST_F(PackageListTest, NamesWithEntitiesRoundTrip) {
    PackageStore saved;
    saved.Add(Package("A&B <x>", "")).AddItem(ItemOfType(kUcGuid, ""));
    SavePackageList(saved, configPath_, messages_);
    EXPECT_NE(ListText().find("<name>A&amp;B &lt;x&gt;</name>"), std::string::npos);
    PackageStore loaded;
    LoadPackageList(loaded, configPath_, messages_);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name(), "A&B <x>");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, AnItemWithoutAFileLoadsBackWithoutFileTypeOrVersion) {
    PackageStore saved;
    saved.Add(Package("Lab", "")).AddItem(ItemOfType(kUcGuid, ""));
    PackageStore loaded;
    SaveAndReload(saved, loaded);
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    const PackageItem& item = loaded[0].items()[0];
    EXPECT_EQ(item.fileName, "");
    EXPECT_EQ(item.typeName, "Corvel::uC");
    EXPECT_EQ(item.cameraType, 0u);
    EXPECT_EQ(item.version, 0u);
}

TEST_F(PackageListTest, UserBuiltItemsAreDerivedFromTheirFirmwareFilesAgain) {
    const std::string firmware = WriteFile("Corvel1b-2.01.bin", "no marker here");
    PackageStore saved;
    saved.Add(Package("Lab", "")).AddItem(ItemOfType(kBootloaderGuid, firmware));
    PackageStore loaded;
    SaveAndReload(saved, loaded);
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    const PackageItem& item = loaded[0].items()[0];
    EXPECT_EQ(item.fileName, firmware);
    EXPECT_EQ(item.typeName, "Corvel::Bootloader");
    EXPECT_EQ(item.platform, kPlatformCorvel);
    EXPECT_EQ(item.typeGuid, ParseGuidOrZero(kBootloaderGuid));
    EXPECT_EQ(item.cameraType, 1u);
    EXPECT_EQ(item.version, MakeVersion(2, 1));
}

TEST_F(PackageListTest, APackageFileEntryIsReadAgainFromItsFile) {
    PackageContents contents;
    contents.name = "Release from file";
    contents.files.push_back({ParseGuidOrZero(kUcGuid), "uc.bin", 1, MakeVersion(2, 1), 0, {1, 2, 3}});
    const std::string packageFile = WriteFile("release.xml", BuildPackageText(contents));
    WriteList("<config>\r\n<package updpackage=\"1\">\r\n<name>Old name</name>\r\n<files>0</files>\r\n<path>" +
              packageFile + "</path>\r\n</package>\r\n</config>\r\n");
    PackageStore loaded;
    LoadPackageList(loaded, configPath_, messages_);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name(), "Release from file");
    EXPECT_EQ(loaded[0].path(), packageFile);
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    EXPECT_EQ(loaded[0].items()[0].version, MakeVersion(2, 1));
}

TEST_F(PackageListTest, EntriesThatCannotBeUsedAreDroppedAndTheRestLoads) {
    WriteList(
        "<config>\r\n"
        "<package>\r\n<name>No flag</name>\r\n<files>1</files>\r\n"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path/></file>\r\n</package>\r\n"
        "<package updpackage=\"\">\r\n<name>Empty flag</name>\r\n<files>0</files>\r\n</package>\r\n"
        "<package updpackage=\"0\">\r\n<files>0</files>\r\n</package>\r\n"
        "<package updpackage=\"1\">\r\n<name>Gone</name>\r\n<files>0</files>\r\n<path>" +
        (folder_ / "gone.xml").string() +
        "</path>\r\n</package>\r\n"
        "<package updpackage=\"7\">\r\n<files>2</files>\r\n<name>Kept</name>\r\n"
        "<file><name>ignored</name><path/><id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id></file>\r\n"
        "<file><id>{00000000-0000-0000-0000-000000000001}</id><path/></file>\r\n"
        "<file><id>not a guid</id><path/></file>\r\n"
        "<file><path/></file>\r\n"
        "</package>\r\n"
        "</config>\r\n");
    PackageStore loaded;
    LoadPackageList(loaded, configPath_, messages_);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name(), "Kept");
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    EXPECT_EQ(loaded[0].items()[0].typeName, "Corvel::Bootloader");
}

TEST_F(PackageListTest, TwoFileEntriesWithOneIdLoadAsOneItem) {
    WriteList(
        "<config><package updpackage=\"0\"><name>Lab</name><files>2</files>"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path>/a.bin</path></file>"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path>/b.bin</path></file>"
        "</package></config>");
    PackageStore loaded;
    LoadPackageList(loaded, configPath_, messages_);
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    EXPECT_EQ(loaded[0].items()[0].fileName, "/a.bin");
}

TEST_F(PackageListTest, FilesZeroGivesAnEmptyPackageThatTheNextSaveLeavesOut) {
    WriteList(
        "<config><package updpackage=\"0\"><name>Lab</name><files>0</files>"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path/></file></package></config>");
    PackageStore loaded;
    LoadPackageList(loaded, configPath_, messages_);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].itemCount(), 0u);
    SavePackageList(loaded, configPath_, messages_);
    EXPECT_EQ(ListText(), "<config/>\r\n");
}

TEST_F(PackageListTest, LoadingEmptiesTheStoreFirst) {
    PackageStore store = ExampleStore();
    WriteList("not xml");
    LoadPackageList(store, configPath_, messages_);
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, AnEmptyConfigPathNeitherLoadsNorSaves) {
    PackageStore store = ExampleStore();
    SavePackageList(store, "", messages_);
    LoadPackageList(store, "", messages_);
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, AMissingFolderSavesNothingAndLoadingReportsIt) {
    const std::string missing = (folder_ / "missing").string();
    SavePackageList(ExampleStore(), missing, messages_);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_FALSE(fs::exists(missing));
    PackageStore loaded;
    LoadPackageList(loaded, missing, messages_);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "Can't read configuration file");
    EXPECT_EQ(messages_.shown[0].caption, "");
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(loaded.empty());
}

TEST_F(PackageListTest, AConfigPathThatIsAFileSavesNothing) {
    const std::string plain = WriteFile("plain", "x");
    SavePackageList(ExampleStore(), plain, messages_);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, AFileThatCannotBeCreatedIsReported) {
    fs::create_directories(ListFile());  // a folder where the file should go
    SavePackageList(ExampleStore(), configPath_, messages_);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "Can't save configuration data to\n" + ListFile());
    EXPECT_EQ(messages_.shown[0].caption, "Save configuration data");
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Error);
}

TEST_F(PackageListTest, AFailedWriteIsReportedAndKeepsTheOldFile) {
    SavePackageList(ExampleStore(), configPath_, messages_);
    const std::string before = ListText();
    PackageStore changed;
    changed.Add(Package("Other", "")).AddItem(ItemOfType(kUcGuid, ""));
    for (ReplaceStep step : {ReplaceStep::Create, ReplaceStep::Write, ReplaceStep::Flush, ReplaceStep::Rename}) {
        messages_.shown.clear();
        {
            ScopedReplaceFault fault(step, ENOSPC);
            SavePackageList(changed, configPath_, messages_);
        }
        ASSERT_EQ(messages_.shown.size(), 1u);
        EXPECT_EQ(messages_.shown[0].text, "Can't save configuration data to\n" + ListFile());
        EXPECT_EQ(messages_.shown[0].caption, "Save configuration data");
        EXPECT_EQ(ListText(), before);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

class PackageStoreList : public ::testing::Test {};

TEST_F(PackageStoreList, KeepsOrderAddressesAndFindsNamesIgnoringCase) {
    PackageStore store;
    Package& first = store.Add(Package("First", ""));
    store.Add(Package("Second", "/p.xml"));
    for (int i = 0; i < 50; ++i) {
        store.Add(Package("More" + std::to_string(i), ""));
    }
    EXPECT_EQ(&store[0], &first);
    EXPECT_EQ(store.FindByName("second"), &store[1]);
    EXPECT_EQ(store.FindByName("third"), nullptr);
    EXPECT_TRUE(store.Remove(first));
    EXPECT_EQ(store[0].name(), "Second");
    const Package stranger("Second", "");
    EXPECT_FALSE(store.Remove(stranger));
    EXPECT_EQ(store.size(), 51u);
}

}  // namespace
}  // namespace tarnwick
