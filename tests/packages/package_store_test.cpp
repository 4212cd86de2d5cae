// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <regex>
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

    // A user-built package, then a package from a package file. Only a
    // version typed over the one its file gives is stored.
    static PackageStore ExampleStore() {
        PackageStore store;
        Package& lab = store.Add(Package("Lab & set", ""));
        PackageItem boot = ItemOfType(kBootGuid, "C:\\fw\\Corvel1b-2.01.bin");
        boot.version = MakeVersion(3, 7);
        lab.AddItem(boot);
        PackageItem uc = ItemOfType(kUcGuid);
        uc.version = MakeVersion(1, 10);
        lab.AddItem(uc);
        lab.AddItem(ItemOfType(kFpgaGuid, "C:\\fw\\fpga.rbf"));
        store.Add(Package("Release 2.01", "C:\\pkg\\release.xml")).AppendItem(ItemOfType(kUcGuid, "uc.bin"));
        return store;
    }

    testing::TemporaryFolder folder_;
    std::string configPath_ = folder_.path();
    testing::RecordingMessages messages_;
};

// What is read back derives camera type and version from the file again,
// unless a version was stored.
TEST_F(PackageListTest, WritesTheExampleFileByteForByteAndReadsItsUserBuiltPackageBack) {
    EXPECT_EQ(PackageListPath("/home/tech/data"), "/home/tech/data/Tarnwick.packages.xml");
    PackageStore example = ExampleStore();
    SavePackageList(example, configPath_, messages_);
    EXPECT_EQ(ListText(),
              "<config>\r\n"
              "<package updpackage=\"0\">\r\n"
              "<name>Lab &amp; set</name>\r\n"
              "<files>3</files>\r\n"
              "<file>\r\n"
              "<id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id>\r\n"
              "<name>Corvel::Bootloader</name>\r\n"
              "<path>C:\\fw\\Corvel1b-2.01.bin</path>\r\n"
              "<version>775</version>\r\n"
              "</file>\r\n"
              "<file>\r\n"
              "<id>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</id>\r\n"
              "<name>Corvel::uC</name>\r\n"
              "<path/>\r\n"
              "<version>266</version>\r\n"
              "</file>\r\n"
              "<file>\r\n"
              "<id>{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}</id>\r\n"
              "<name>Corvel::FPGA</name>\r\n"
              "<path>C:\\fw\\fpga.rbf</path>\r\n"
              "</file>\r\n"
              "</package>\r\n"
              "<package updpackage=\"1\">\r\n"
              "<name>Release 2.01</name>\r\n"
              "<files>0</files>\r\n"
              "<path>C:\\pkg\\release.xml</path>\r\n"
              "</package>\r\n"
              "</config>\r\n");

    PackageStore loaded = Load();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(loaded[1].fileUnreadable());  // there is no C:\pkg here
    EXPECT_EQ(loaded[0].name(), "Lab & set");
    ASSERT_EQ(loaded[0].itemCount(), 3u);
    const PackageItem& boot = loaded[0].items()[0];
    EXPECT_EQ(std::tie(boot.fileName, boot.typeName, boot.platform, boot.cameraType, boot.version),
              std::tuple("C:\\fw\\Corvel1b-2.01.bin", "Corvel::Bootloader", kPlatformCorvel, 1u, MakeVersion(3, 7)));
    EXPECT_EQ(loaded[0].items()[1].version, MakeVersion(1, 10));
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
        "<package updpackage=\"7\">\r\n<files>2</files>\r\n<name>Kept</name>\r\n"
        "<file><name>ignored</name><path>/a.bin</path><id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id></file>\r\n"
        "<file><id>{728F4F3D-0BED-499A-8385-5ECBE8116317}</id><path>/b.bin</path></file>\r\n"
        "<file><id>{00000000-0000-0000-0000-000000000001}</id><path/></file>\r\n"
        "<file><id>not a guid</id><path/></file>\r\n"
        "<file><path/></file>\r\n"
        "</package>\r\n"
        "</config>\r\n");
    PackageStore loaded;
    EXPECT_EQ(LoadPackageList(loaded, configPath_, messages_), PackageListLoad::Partial);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].itemCount(), 0u);  // "files" says how many to read
    EXPECT_EQ(loaded[1].name(), "Kept");
    ASSERT_EQ(loaded[1].itemCount(), 1u);
    EXPECT_EQ(loaded[1].items()[0].typeName, "Corvel::Bootloader");
    EXPECT_EQ(loaded[1].items()[0].fileName, "/a.bin");  // the second entry of one id is dropped
    SavePackageList(loaded, configPath_, messages_);
    EXPECT_EQ(ListText().find("Zero"), std::string::npos);  // a user-built package without items is left out
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
    PackageStore store = ExampleStore();
    SavePackageList(store, missing, messages_);
    SavePackageList(store, folder_.write("plain", "x").string(), messages_);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(LoadPackageList(store, missing, messages_), PackageListLoad::Missing);
    EXPECT_TRUE(store.empty());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0], std::tuple("Can't read configuration file", "", MessageIcon::Exclamation));
}

TEST_F(PackageListTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
    PackageStore store = ExampleStore();
    SavePackageList(store, configPath_, messages_);
    const std::string before = ListText();
    store.Clear();
    store.Add(Package("Other", "")).AddItem(ItemOfType(kUcGuid));
    {
        ScopedReplaceFault fault(ReplaceStep::Write, ENOSPC);
        SavePackageList(store, configPath_, messages_);
    }
    ASSERT_EQ(messages_.shown.size(), 1u);
    const std::string text = "Can't save configuration data to\n" + ListFile();
    EXPECT_EQ(messages_.shown[0], std::tuple(text, "Save configuration data", MessageIcon::Error));
    EXPECT_EQ(ListText(), before);
}

// Only a list read whole, or none at all, is written over; any other is kept
// beside the new one and the user told where.
TEST_F(PackageListTest, AListNotReadWholeIsMovedAsideWhenTheListIsSaved) {
    const std::string truncated = "<config>\r\n<package updpackage=\"0\">\r\n<name>Lab</name>\r\n<fil";
    const std::string partial = "<config><package><name>No flag</name><files>0</files></package></config>";
    const auto write = [](const std::string& text) {
        return [text](const fs::path& list) { ASSERT_FALSE(ReplaceFile(list, std::string_view(text))); };
    };
    const struct {
        const char* damage;
        std::function<void(const fs::path& list)> make;
        PackageListLoad load;
        std::string keptText;  // what the kept list holds, when it is a file
    } cases[] = {
        {"truncated", write(truncated), PackageListLoad::NotAPackageList, truncated},
        {"dropped entry", write(partial), PackageListLoad::Partial, partial},
        {"folder", [](const fs::path& list) { fs::create_directory(list); }, PackageListLoad::Unreadable, ""},
        {"symlink loop", [](const fs::path& list) { fs::create_symlink(list.filename(), list); },
         PackageListLoad::Unreadable, ""},
        {"whole", write("<config/>"), PackageListLoad::Loaded, ""},
        {"missing", [](const fs::path&) {}, PackageListLoad::Missing, ""},
    };
    const std::regex keptMessage("The old package list was not read whole and is kept as\n(.*/"
                                 "Tarnwick\\.packages\\.xml\\.unreadable-[0-9]{8}-[0-9]{6})");
    for (const auto& row : cases) {
        SCOPED_TRACE(row.damage);
        const fs::path folder = folder_ / row.damage;
        fs::create_directory(folder);
        row.make(folder / kPackageListFileName);
        PackageStore store;
        EXPECT_EQ(LoadPackageList(store, folder.string(), messages_), row.load);
        store.Add(Package("New", "")).AddItem(ItemOfType(kUcGuid));
        messages_.shown.clear();
        SavePackageList(store, folder.string(), messages_);
        EXPECT_NE(testing::readText(folder / kPackageListFileName).find("<name>New</name>"), std::string::npos);
        const bool kept = row.load != PackageListLoad::Loaded && row.load != PackageListLoad::Missing;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), kept ? 2 : 1);
        ASSERT_EQ(messages_.shown.size(), kept ? 1u : 0u);
        if (kept) {
            std::smatch match;
            const std::string text = std::get<0>(messages_.shown[0]);
            ASSERT_TRUE(std::regex_match(text, match, keptMessage)) << text;
            EXPECT_EQ(std::tuple(std::get<1>(messages_.shown[0]), std::get<2>(messages_.shown[0])),
                      std::tuple("Save configuration data", MessageIcon::Exclamation));
            EXPECT_TRUE(fs::exists(fs::symlink_status(match[1].str())));
            if (!row.keptText.empty()) {
                EXPECT_EQ(testing::readText(match[1].str()), row.keptText);
            }
        }
    }
}

// A stick that is not mounted must not cost the list its packages.
TEST_F(PackageListTest, AnEntryWhosePackageFileCannotBeReadStaysListedUntilDeleted) {
    const std::string saved = "<config>\r\n<package updpackage=\"1\">\r\n<name>Release 2.01</name>\r\n"
                              "<files>0</files>\r\n<path>" + (folder_ / "stick/release.xml").string() +
                              "</path>\r\n</package>\r\n<package updpackage=\"0\">\r\n<name>Lab</name>\r\n"
                              "<files>1</files>\r\n<file>\r\n<id>" + std::string(kUcGuid) +
                              "</id>\r\n<name>Corvel::uC</name>\r\n<path/>\r\n</file>\r\n</package>\r\n"
                              "</config>\r\n";
    WriteList(saved);
    PackageStore loaded;
    EXPECT_EQ(LoadPackageList(loaded, configPath_, messages_), PackageListLoad::Loaded);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(loaded[0].fileUnreadable());
    EXPECT_EQ(loaded[0].itemCount(), 0u);
    EXPECT_EQ(ListedName(loaded[0]), "Release 2.01 (unreadable)");
    EXPECT_EQ(ListedName(loaded[1]), "Lab");
    SavePackageList(loaded, configPath_, messages_);
    EXPECT_EQ(ListText(), saved);

    PackageContents contents;
    contents.files.push_back({ParseGuidOrZero(kUcGuid), "uc.bin", 1, MakeVersion(2, 1), 0, {1, 2, 3}});
    folder_.write("stick/release.xml", BuildPackageText(contents));
    LoadPackageList(loaded, configPath_, messages_);
    EXPECT_FALSE(loaded[0].fileUnreadable());
    EXPECT_EQ(loaded[0].itemCount(), 1u);

    loaded.Remove(loaded[0]);
    SavePackageList(loaded, configPath_, messages_);
    EXPECT_EQ(ListText().find("Release"), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());
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
