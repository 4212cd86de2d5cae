#include "package_commands.h"

#include <QAbstractItemModelTester>
#include <QComboBox>

#include <gtest/gtest.h>

#include "catalogues.h"
#include "package_box_model.h"
#include "package_test_fakes.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using testing::RecordingMessages;
using testing::ScriptedDialogs;
using testing::TemporaryFolder;

const ImageType& Type(std::size_t row) {
    return ImageTypes()[row];
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
    dialogs_.types.push_back(Type(0).guid);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    EXPECT_EQ(store_[1].itemCount(), 0u);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(commands_.boxEntries().size(), 2u);
    EXPECT_EQ(messages_.shown, std::vector(2, kExists));
}

TEST_F(PackageCommandsTest, TwentyPackagesRefuseNewAndLoadWithoutAsking) {
    for (int index = 0; index < 20; ++index) {
        newPackage("P" + std::to_string(index));
    }
    EXPECT_FALSE(commands_.canAddPackages());
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
    dialogs_.types = {Type(1).guid, Type(1).guid, Type(2).guid, std::nullopt};
    EXPECT_EQ(commands_.addItem(), PackageChange::Items);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    EXPECT_EQ(commands_.addItem(), PackageChange::Items);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    const Package& package = store_[0];
    ASSERT_EQ(package.itemCount(), 2u);
    EXPECT_EQ(package.items()[0].typeName, "Corvel::uC");
    EXPECT_EQ(package.items()[0].platform, kPlatformCorvel);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageCommandsTest, AttachDerivesTheItemAndDetachClearsItWhileDeleteItemAsksNothing) {
    newPackage("Lab set");
    dialogs_.types = {Type(0).guid, Type(1).guid};
    commands_.addItem();
    commands_.addItem();
    PackageItem& item = store_[0].items()[1];
    const std::string file = folder_.write("Corvel1b-2.01.bin", "firmware").string();
    dialogs_.files.push_back(file);

    EXPECT_EQ(commands_.attachFirmwareFile(&item, "old.bin"), file);
    EXPECT_EQ(dialogs_.fileDialogs.back(), std::make_pair(std::string("Load firmware file..."), std::string("old.bin")));
    EXPECT_EQ(item.fileName, file);
    EXPECT_EQ(item.version, 0x0201u);
    EXPECT_EQ(item.cameraType, 1u);

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
        for (int count = 0; count < 4; ++count) {
            commands.newPackage();
        }
        ASSERT_EQ(commands.selectedPackage(), &store[3]);
        commands.deletePackage();
        ASSERT_NE(commands.selectedPackage(), nullptr);
        EXPECT_EQ(commands.selectedPackage()->name(), selected) << lastPackage;
    }
}

}  // namespace
}  // namespace tarnwick
