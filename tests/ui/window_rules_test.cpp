// SPDX-License-Identifier: GPL-2.0-or-later
// The window's plain rules and texts: enable states, caption and About text,
// the item list and the properties of the selected item; and the package
// commands behind its buttons.
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QTableView>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "enable_rules.h"
#include "item_list_model.h"
#include "item_properties.h"
#include "package_box_model.h"
#include "package_test_fakes.h"
#include "qt_printers.h"
#include "screen_fit.h"
#include "temporary_folder.h"
#include "version_record.h"

namespace tarnwick {
namespace {

using testing::RecordingMessages;
using testing::ScriptedDialogs;
using testing::TemporaryFolder;
using testing::TypeNamed;

TEST(EnableRules, EachSituationEnablesExactlyItsControls) {
    const PackageItem uc(TypeNamed("Corvel::uC"));
    Package user("Mine", "");
    user.AppendItem(uc);
    PackageItem& userItem = user.items()[0];
    Package loaded("Release", "/pkg/release.xml");
    loaded.AppendItem(uc);
    loaded.items()[0].fileName = "uc.bin";
    const PackageItem* loadedItem = &loaded.items()[0];

    // Package box, item list, property list, Delete, New, Load, Add item,
    // Del item, Detach file, Update camera, Erase, Update info, Erase && Program.
    const struct {
        const char* name;
        ControlFacts facts;
        std::string_view enabled;
    } rows[] = {
        {"no package", {0}, "0000111000000"},
        {"user package, no file", {1, &user}, "1111111000000"},
        {"user package, item", {1, &user, &userItem}, "1111111110000"},
        {"loaded package, item", {2, &loaded, loadedItem}, "1111110001000"},
        {"20 packages", {20, &loaded}, "1111000001000"},
        {"19 packages", {19, &loaded}, "1111110001000"},
        {"connected, same platform", {1, &loaded, loadedItem, true, TargetPlatform::Corvel}, "1111110001111"},
        {"connected, no file", {1, &user, &userItem, true, TargetPlatform::Corvel}, "1111111110110"},
        {"connected, other platform", {1, &loaded, loadedItem, true, TargetPlatform::Sabrel}, "1111110001000"},
        {"same platform, not connected", {1, &loaded, loadedItem, false, TargetPlatform::Corvel}, "1111110001000"},
    };
    const int ids[] = {IdPackageBox, IdItemList,     IdPropertyList, IdDeletePackage, IdNewPackage,
                       IdLoadPackage, IdAddItem,     IdDeleteItem,   IdDetachFile,    IdUpdateCamera,
                       IdErase,       IdUpdateInfo,  IdEraseAndProgram};
    for (const auto& row : rows) {
        const auto rules = enabledControls(row.facts);
        for (std::size_t index = 0; index < std::size(ids); ++index) {
            EXPECT_EQ(rules[index].id, ids[index]);
            EXPECT_EQ(rules[index].enabled, row.enabled[index] == '1') << row.name << ", control " << ids[index];
        }
    }
}

TEST(ScreenFit, AWindowTooLargeForTheScreenTakesWhatTheFreeAreaLeavesAndScrolls) {
    const QMargins frame(4, 28, 4, 4);
    const int bar = 15;
    const struct {
        const char* name;
        QSize content;
        QRect available;
        QRect client;
    } rows[] = {
        {"fits: centred with its frame", {805, 494}, {0, 0, 1280, 1024}, {237, 277, 805, 494}},
        {"too large both ways", {805, 494}, {0, 0, 640, 450}, {4, 28, 632, 418}},
        {"too tall: a vertical bar widens it", {600, 500}, {0, 0, 800, 450}, {92, 28, 615, 418}},
        {"too wide: a horizontal bar heightens it", {805, 300}, {0, 0, 640, 450}, {4, 79, 632, 315}},
        {"the free area below a panel", {805, 494}, {0, 32, 1280, 868}, {237, 231, 805, 494}},
    };
    for (const auto& row : rows) {
        const QRect client = FitOnScreen(row.content, row.available, frame, bar);
        EXPECT_EQ(client, row.client) << row.name;
        EXPECT_TRUE(row.available.contains(client.marginsAdded(frame))) << row.name;
    }
}

TEST(VersionRecord, TheBuildIsTarnwick130Rc1FromVornixAndAboutShowsNoCandidateForARelease) {
    const VersionRecord release{"Tarnwick", "Vornix", "Legal", {1, 5, 0, 0}, "License"};
    EXPECT_EQ(aboutText(release), "Tarnwick\nv1.05\n\nLegal\nVornix\nLicense\n");
    EXPECT_EQ(aboutText(VersionRecord{}), "\nv0.00\n\n\n\n\n") << "missing strings leave their lines empty";
    EXPECT_EQ(windowCaption(programVersion()), "Tarnwick v1.30-rc1");
    EXPECT_EQ(programVersion().companyName, "Vornix");
    EXPECT_FALSE(programVersion().legalCopyright.empty());
    EXPECT_EQ(programVersion().license, "License: GPL-2.0-or-later");
}

TEST(ItemProperties, AUserItemLooksItsFileUpOnDiskWhileALoadedOneShowsWhatWasStoredAndIsNotEditable) {
    const TemporaryFolder folder;
    Package user("Lab set", "");
    PackageItem item(TypeNamed("Corvel::uC"));
    item.fileName = (folder / "gone.bin").string();
    item.version = 0x010A;
    EXPECT_EQ(DescribeItem(&user, &item),
              (ItemPropertyTexts{"Corvel::uC", "None", "1.10", item.fileName, {"File not found!", ""}, true}));

    const auto file = folder.write("uc.bin", "12345");
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1159848307}}));
    EXPECT_EQ(DescribeFile(file.string(), nullptr), (FilePropertyTexts{"5 Byte(s)", "03.10.2006 - 04:05:07"}));
    EXPECT_EQ(CameraTypeText(7), "") << "an id outside the catalogue";

    Package loaded("Release", "/pkg/release.xml");
    PackageItem stored(TypeNamed("Sabrel::FPGA"));
    stored.fileName = "fpga.rbf";
    stored.fileSize = 4096;
    stored.fileTime = FileTime{2006, 10, 3, 9, 5, 7, 0};
    const ItemPropertyTexts texts = DescribeItem(&loaded, &stored);
    EXPECT_EQ(texts.fileProperties, (FilePropertyTexts{"4096 Byte(s)", "03.10.2006 - 09:05:07"}));
    EXPECT_EQ(texts.editable, false);
    EXPECT_EQ(DescribeItem(&user, nullptr), ItemPropertyTexts{}) << "nothing to edit without an item";
}

TEST(DestinationTexts, EndAddressWrapsInThirtyTwoBitsAndAnUnknownTypeShowsNothing) {
    const RegionReadings nothingRead;
    const PackageItem boot(TypeNamed("Tessid::Bootloader"));
    EXPECT_EQ(DescribeDestination(&boot, nothingRead),
              (DestinationTexts{"Tessid::Bootloader", "0xFFFFFFFF", "0x0000FFFE", "0x00010000", {}}));
    PackageItem unknown;
    unknown.typeName = "Mystery";
    EXPECT_EQ(DescribeDestination(&unknown, nothingRead), DestinationTexts{});
    EXPECT_EQ(DescribeDestination(nullptr, nothingRead), DestinationTexts{});
}

TEST(EditedVersion, ReadsDecimalPartsAfterTheFirstSeparatorAndRefusesOverflowAndPartsWithoutDigits) {
    const std::pair<const char*, std::optional<std::uint32_t>> rows[] = {
        {"1.10", 0x010A},       {"2,05", 0x0205},       {"3;1", 0x0301},        {"4:2.9", 0x0402},
        {"1.02beta", 0x0102},   {" 7.1", 0x0701},       {"258", 0x0102},        {"0x0102", 0},
        {"255.255", 0xFFFF},    {"256.0", std::nullopt}, {"1.300", std::nullopt}, {"65536", std::nullopt},
        {"abc", std::nullopt},  {"", std::nullopt},     {"1.", std::nullopt},   {".5", std::nullopt},
    };
    for (const auto& [text, version] : rows) {
        EXPECT_EQ(ParseEditedVersion(text), version) << text;
    }
    PackageItem item;
    item.version = 0x0102;
    EXPECT_FALSE(SetEditedVersion(item, "1.300"));
    EXPECT_EQ(item.version, 0x0102u);
}

class ItemListModelTest : public ::testing::Test {
protected:
    ItemListModelTest() {
        for (std::size_t row = 0; row < 3; ++row) {
            PackageItem item(ImageTypes()[row]);
            item.fileName = "P" + std::to_string(row + 1) + ".bin";
            package_.AddItem(item);
        }
        view_.setModel(&model_);
        model_.setPackage(&package_);
    }

    Package package_{"Lab set", ""};
    ItemListModel model_;
    QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QTableView view_;
};

TEST_F(ItemListModelTest, ShowsTheLastItemFirstAndSelectsTheRowSelectedBeforeAgainWhileItExists) {
    ASSERT_EQ(model_.rowCount(), 3);
    EXPECT_EQ(model_.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "File");
    EXPECT_EQ(model_.index(0, ItemListModel::FileColumn).data().toString(), "P3.bin");
    EXPECT_EQ(model_.typeNameAt(3), "");

    EXPECT_EQ(ReselectRow(view_, 1), 1);
    EXPECT_EQ(view_.selectionModel()->selectedRows(), QModelIndexList{model_.index(1, 0)});
    package_.RemoveItem(package_.items()[0]);
    package_.RemoveItem(package_.items()[0]);
    model_.setPackage(&package_);
    EXPECT_EQ(ReselectRow(view_, 1), -1);
    EXPECT_FALSE(view_.selectionModel()->hasSelection());
    EXPECT_EQ(ReselectRow(view_, -1), -1);
    model_.setPackage(nullptr);
    EXPECT_EQ(model_.rowCount(), 0);
}

class PackageCommandsTest : public ::testing::Test {
protected:
    PackageCommandsTest() : commands_(store_, dialogs_, messages_, {}) {}

    void newPackage(const std::string& name) {
        dialogs_.names.push_back(name);
        ASSERT_EQ(commands_.newPackage(), PackageChange::PackageBox) << name;
    }

    std::string writePackageFile(const std::string& file, const std::string& name) {
        return folder_.write(file, "<updpackage><packagename>" + name + "</packagename></updpackage>").string();
    }

    const RecordingMessages::Shown kExists{std::string(kPackageExistsText), "Tarnwick", MessageIcon::Exclamation};

    TemporaryFolder folder_;
    PackageStore store_;
    ScriptedDialogs dialogs_;
    RecordingMessages messages_;
    PackageCommands commands_;
};

TEST_F(PackageCommandsTest, NewPackagesAreListedSortedWithoutRegardToCaseAndSelected) {
    PackageBoxModel model(commands_);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QComboBox box;
    box.setModel(&model);
    for (const char* name : {"beta", "Alpha", "Gamma"}) {
        newPackage(name);
        model.refresh();
    }
    box.setCurrentIndex(commands_.selectedEntry());
    EXPECT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(0), "Alpha");
    EXPECT_EQ(box.itemText(1), "beta");
    EXPECT_EQ(box.currentText(), "Gamma");
    EXPECT_TRUE(store_[2].isUserBuilt());
}

TEST_F(PackageCommandsTest, AnEmptyCancelledOrListedNameCreatesNothing) {
    newPackage("ABC");
    dialogs_.names = {std::string(), std::nullopt, "abc"};
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(commands_.newPackage(), PackageChange::None);
    }
    EXPECT_EQ(store_.size(), 1u);
    EXPECT_EQ(messages_.shown, std::vector{kExists}) << "only a listed name is told";
}

// A loaded package may share a user package's name, but its file is listed
// once, in any case, and its items never change.
TEST_F(PackageCommandsTest, ALoadedPackageFileIsListedOnceAndKeepsItsItems) {
    newPackage("Release");
    const std::string path = writePackageFile("release.xml", "Release");
    dialogs_.files = {path, path, folder_.path().string() + "/RELEASE.XML"};
    EXPECT_EQ(commands_.loadPackage(), PackageChange::PackageBox);
    EXPECT_EQ(dialogs_.fileDialogs.front(), std::make_pair(std::string("Load package file..."), std::string()));
    EXPECT_EQ(commands_.selectedPackage(), &store_[1]);
    dialogs_.types.push_back(ImageTypes()[0].guid);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    EXPECT_EQ(store_[1].itemCount(), 0u);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(commands_.boxEntries().size(), 2u);
    EXPECT_EQ(messages_.shown, std::vector(2, kExists));
}

TEST_F(PackageCommandsTest, APackageFileThatCannotBeReadOrNamesNoPackageIsRefusedWithWhy) {
    const std::pair<std::string, std::string> rows[] = {
        {(folder_ / "gone.xml").string(), "No such file or directory"},
        {folder_.path().string(), "Is a directory"},
        {folder_.write("notes.xml", "just some notes").string(), "not a package file, or a damaged one"},
        {folder_.write("nameless.xml", "<updpackage><time>1</time></updpackage>").string(),
         "no package name in the file"},
    };
    for (const auto& [path, reason] : rows) {
        dialogs_.files.push_back(path);
        EXPECT_EQ(commands_.loadPackage(), PackageChange::None) << path;
        ASSERT_FALSE(messages_.shown.empty()) << path;
        EXPECT_EQ(messages_.shown.back(), (RecordingMessages::Shown{"Can't read package file " + path + ": " + reason,
                                                                   "Tarnwick", MessageIcon::Exclamation}));
    }
    EXPECT_TRUE(store_.empty());
    EXPECT_EQ(messages_.shown.size(), std::size(rows));
}

TEST_F(PackageCommandsTest, TwentyPackagesRefuseNewAndLoadWithoutAsking) {
    for (int index = 0; index < 20; ++index) {
        newPackage("P" + std::to_string(index));
    }
    dialogs_.names.push_back("One more");
    dialogs_.files.push_back(writePackageFile("more.xml", "More"));
    EXPECT_EQ(commands_.newPackage(), PackageChange::None);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(dialogs_.names.size(), 1u);
    EXPECT_EQ(store_.size(), 20u);
}

TEST_F(PackageCommandsTest, DeleteAsksWithTheNameAndKeepsThePackageOnCancel) {
    newPackage("Lab set");
    messages_.answer = MessageAnswer::Cancel;
    EXPECT_EQ(commands_.deletePackage(), PackageChange::None);
    messages_.answer = MessageAnswer::Ok;
    EXPECT_EQ(commands_.deletePackage(), PackageChange::PackageBox);
    const RecordingMessages::Shown question{"Delete package\nLab set", "Tarnwick", MessageIcon::Question};
    EXPECT_EQ(messages_.asked, std::vector(2, question));
    EXPECT_TRUE(store_.empty());
    EXPECT_EQ(commands_.selectedPackage(), nullptr);
}

TEST_F(PackageCommandsTest, ASecondItemOfOneTypeIsSilentlyIgnored) {
    newPackage("Lab set");
    dialogs_.types = {ImageTypes()[1].guid, ImageTypes()[1].guid, ImageTypes()[2].guid, std::nullopt};
    EXPECT_EQ(commands_.addItem(), PackageChange::Items);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    EXPECT_EQ(commands_.addItem(), PackageChange::Items);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    const Package& package = store_[0];
    ASSERT_EQ(package.itemCount(), 2u);
    EXPECT_EQ(package.items()[0].typeName, "Corvel::uC");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageCommandsTest, AttachDerivesTheItemAndDetachClearsItWhileDeleteItemAsksNothing) {
    newPackage("Lab set");
    dialogs_.types = {ImageTypes()[0].guid, ImageTypes()[1].guid};
    commands_.addItem();
    commands_.addItem();
    PackageItem& item = store_[0].items()[1];
    const std::string file = folder_.write("Corvel1b-2.01.bin", "firmware").string();
    dialogs_.files.push_back(file);

    EXPECT_EQ(commands_.attachFirmwareFile(&item, "old.bin"), file);
    EXPECT_EQ(dialogs_.fileDialogs.back(), std::make_pair(std::string("Load firmware file..."), std::string("old.bin")));
    EXPECT_EQ(item.fileName, file);

    EXPECT_EQ(commands_.detachFile(&item), PackageChange::Items);
    EXPECT_EQ(item.fileName, "");
    EXPECT_EQ(item.version, 0u);
    EXPECT_EQ(item.cameraType, 0u);

    EXPECT_EQ(commands_.deleteItem(&store_[0].items()[0]), PackageChange::Items);
    ASSERT_EQ(store_[0].itemCount(), 1u);
    EXPECT_EQ(store_[0].items()[0].typeName, "Corvel::uC");
    EXPECT_TRUE(messages_.asked.empty());
}

// The store as the list file left it: Alpha, Gamma, beta; the box sorts them.
TEST(PackageSelection, AfterDeletingTheSelectedPackageFollowsTheLastPackagesName) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "beta"},          // where the last package landed
        {"GA", "Gamma"},       // a prefix, in any case
        {"Doomed", "beta"},    // gone: as without a name
        {"Alphabet", "beta"},  // longer than any name
    };
    for (const auto& [lastPackage, selected] : rows) {
        PackageStore store;
        ScriptedDialogs dialogs;
        RecordingMessages messages;
        PackageCommands commands(store, dialogs, messages, lastPackage);
        dialogs.names = {"Alpha", "Gamma", "beta", "Doomed"};
        while (commands.newPackage() == PackageChange::PackageBox) {
        }
        ASSERT_EQ(commands.selectedPackage(), &store[3]);
        commands.deletePackage();
        ASSERT_NE(commands.selectedPackage(), nullptr);
        EXPECT_EQ(commands.selectedPackage()->name(), selected) << lastPackage;
    }
}

}  // namespace
}  // namespace tarnwick
