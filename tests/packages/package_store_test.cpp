#include "package_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>

#include "file_io.h"
#include "package_test_support.h"
#include "package_writer.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using namespace tarnwick::testing;

class PackageListTest : public ::testing::Test {
protected:
    std::string ListFile() const { return folder_ / kPackageListFileName; }
    std::string ListText() const { return testing::readText(ListFile()); }
    void WriteList(const std::string& text) const { folder_.write(kPackageListFileName, text); }

    PackageStore Load() {
        PackageStore store;
        LoadPackageList(store, configPath_, messages_);
        return store;
    }

    // A user-built package of two items, then a package from a package file.
    static PackageStore ExampleStore() {
        PackageStore store;
        Package& lab = store.Add(Package("Lab set", ""));
        lab.AddItem(ItemOfType(kBootGuid, "C:\\fw\\boot.bin"));
        lab.AddItem(ItemOfType(kUcGuid));
        store.Add(Package("Release 2.01", "C:\\pkg\\release.xml")).AppendItem(ItemOfType(kUcGuid, "uc.bin"));
        return store;
    }

    testing::TemporaryFolder folder_;
    std::string configPath_ = folder_.path();
    testing::RecordingMessages messages_;
};

TEST_F(PackageListTest, WritesTheExampleFileByteForByte) {
    EXPECT_EQ(PackageListPath("/home/tech/data"), "/home/tech/data/Tarnwick.packages.xml");
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

// Only a version the user typed over the derived one is stored; the rest is
// derived from the firmware file again.
TEST_F(PackageListTest, UserBuiltPackagesRoundTripKeepingTypedVersions) {
    const std::string firmware = folder_.write("Corvel1b-2.01.bin", "no marker here");
    PackageStore saved;
    Package& package = saved.Add(Package("A&B <x>", ""));
    PackageItem boot = ItemOfType(kBootGuid, firmware);
    boot.version = MakeVersion(3, 7);
    PackageItem withoutFile = ItemOfType(kUcGuid);
    withoutFile.version = MakeVersion(1, 10);
    package.AddItem(boot);
    package.AddItem(withoutFile);
    SavePackageList(saved, configPath_, messages_);
    EXPECT_NE(ListText().find("<name>A&amp;B &lt;x&gt;</name>"), std::string::npos) << ListText();
    EXPECT_NE(ListText().find("<path/>\r\n<version>266</version>"), std::string::npos) << ListText();

    PackageStore loaded = Load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name(), "A&B <x>");
    ASSERT_EQ(loaded[0].itemCount(), 2u);
    const PackageItem& first = loaded[0].items()[0];
    EXPECT_EQ(std::tie(first.fileName, first.typeName, first.platform, first.cameraType, first.version),
              std::tuple(firmware, "Corvel::Bootloader", kPlatformCorvel, 1u, MakeVersion(3, 7)));
    const PackageItem& second = loaded[0].items()[1];
    EXPECT_EQ(second.typeGuid, ParseGuidOrZero(kUcGuid));
    EXPECT_EQ(second.cameraType, 0u);
    EXPECT_EQ(second.version, MakeVersion(1, 10));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, APackageFileEntryIsReadAgainFromItsFile) {
    PackageContents contents;
    contents.name = "Release from file";
    contents.files.push_back({ParseGuidOrZero(kUcGuid), "uc.bin", 1, MakeVersion(2, 1), 0, {1, 2, 3}});
    const std::string packageFile = folder_.write("release.xml", BuildPackageText(contents));
    WriteList("<config>\r\n<package updpackage=\"1\">\r\n<name>Old name</name>\r\n<files>0</files>\r\n<path>" +
              packageFile + "</path>\r\n</package>\r\n</config>\r\n");
    PackageStore loaded = Load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name(), "Release from file");
    EXPECT_EQ(loaded[0].path(), packageFile);
    ASSERT_EQ(loaded[0].itemCount(), 1u);
    EXPECT_EQ(loaded[0].items()[0].version, MakeVersion(2, 1));
}

TEST_F(PackageListTest, EntriesThatCannotBeUsedOrRepeatAnIdAreDroppedAndTheRestLoadsAndSaves) {
    WriteList(
        "<config>\r\n"
        "<package>\r\n<name>No flag</name>\r\n<files>1</files>\r\n"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path/></file>\r\n</package>\r\n"
        "<package updpackage=\"\">\r\n<name>Empty flag</name>\r\n<files>0</files>\r\n</package>\r\n"
        "<package updpackage=\"0\">\r\n<files>0</files>\r\n</package>\r\n"
        "<package updpackage=\"0\"><name>Zero</name><files>0</files>"
        "<file><id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id><path/></file></package>\r\n"
        "<package updpackage=\"1\">\r\n<name>Gone</name>\r\n<files>0</files>\r\n<path>" +
        (folder_ / "gone.xml").string() +
        "</path>\r\n</package>\r\n"
        "<package updpackage=\"7\">\r\n<files>2</files>\r\n<name>Kept</name>\r\n"
        "<file><name>ignored</name><path>/a.bin</path><id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id></file>\r\n"
        "<file><id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id><path>/b.bin</path></file>\r\n"
        "<file><id>{00000000-0000-0000-0000-000000000001}</id><path/></file>\r\n"
        "<file><id>not a guid</id><path/></file>\r\n"
        "<file><path/></file>\r\n"
        "</package>\r\n"
        "</config>\r\n");
    PackageStore loaded = Load();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].itemCount(), 0u);  // "files" says how many to read
    EXPECT_EQ(loaded[1].name(), "Kept");
    ASSERT_EQ(loaded[1].itemCount(), 1u);
    EXPECT_EQ(loaded[1].items()[0].typeName, "Corvel::Bootloader");
    EXPECT_EQ(loaded[1].items()[0].fileName, "/a.bin");  // the second entry of one id is dropped
    SavePackageList(loaded, configPath_, messages_);
    EXPECT_EQ(ListText().find("Zero"), std::string::npos);  // a package without items is left out
}

TEST_F(PackageListTest, LoadingEmptiesTheStoreAndAnEmptyConfigPathDoesNothing) {
    PackageStore store;
    for (const auto& [text, result] : {std::pair{"not xml", PackageListLoad::NotAPackageList},
                                       std::pair{"<config/>", PackageListLoad::Loaded}}) {
        store = ExampleStore();
        WriteList(text);
        EXPECT_EQ(LoadPackageList(store, configPath_, messages_), result) << text;
        EXPECT_TRUE(store.empty()) << text;
    }
    store = ExampleStore();
    SavePackageList(store, "", messages_);
    EXPECT_EQ(LoadPackageList(store, "", messages_), PackageListLoad::Loaded);
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(ListText(), "<config/>");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageListTest, AMissingOrPlainFileFolderSavesNothingAndLoadingReportsIt) {
    const std::string missing = folder_ / "missing";
    SavePackageList(ExampleStore(), missing, messages_);
    SavePackageList(ExampleStore(), folder_.write("plain", "x").string(), messages_);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_FALSE(fs::exists(missing));
    PackageStore store = ExampleStore();
    EXPECT_EQ(LoadPackageList(store, missing, messages_), PackageListLoad::Unreadable);
    EXPECT_TRUE(store.empty());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(std::tie(messages_.shown[0].text, messages_.shown[0].caption, messages_.shown[0].icon),
              std::tuple("Can't read configuration file", "", MessageIcon::Exclamation));
}

TEST_F(PackageListTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
    SavePackageList(ExampleStore(), configPath_, messages_);
    const std::string before = ListText();
    PackageStore changed;
    changed.Add(Package("Other", "")).AddItem(ItemOfType(kUcGuid));
    {
        ScopedReplaceFault fault(ReplaceStep::Write, ENOSPC);
        SavePackageList(changed, configPath_, messages_);
    }
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(std::tie(messages_.shown[0].text, messages_.shown[0].caption, messages_.shown[0].icon),
              std::tuple("Can't save configuration data to\n" + ListFile(), "Save configuration data", MessageIcon::Error));
    EXPECT_EQ(ListText(), before);
}

TEST(PackageStoreList, KeepsOrderAndAddressesAndFindsNamesIgnoringCase) {
    PackageStore store;
    Package& first = store.Add(Package("First", ""));
    for (int i = 0; i < 50; ++i) {
        store.Add(Package("More" + std::to_string(i), ""));
    }
    EXPECT_EQ(&store[0], &first);
    EXPECT_EQ(store.FindByName("more1"), &store[2]);
    EXPECT_EQ(store.FindByName("third"), nullptr);
    EXPECT_FALSE(store.Remove(Package("First", "")));
    EXPECT_TRUE(store.Remove(first));
    EXPECT_EQ(store[0].name(), "More0");
}

}  // namespace
}  // namespace tarnwick
