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
    explicit PackageCommandsTest(std::string lastPackage = {}) : commands_(store_, dialogs_, messages_, lastPackage) {}

    void newPackage(const std::string& name) {
        dialogs_.names.push_back(name);
        ASSERT_EQ(commands_.newPackage(), PackageChange::PackageBox) << name;
    }

    std::vector<std::string> boxNames() const {
        std::vector<std::string> names;
        for (const Package* package : commands_.boxEntries()) {
            names.push_back(package->name());
        }
        return names;
    }

    std::string selectedName() const {
        const Package* package = commands_.selectedPackage();
        return package ? package->name() : "(none)";
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
    newPackage("beta");
    newPackage("Alpha");
    newPackage("Gamma");
    EXPECT_EQ(boxNames(), (std::vector<std::string>{"Alpha", "beta", "Gamma"}));
    EXPECT_EQ(selectedName(), "Gamma");
    EXPECT_TRUE(store_[2].isUserBuilt());
}

TEST_F(PackageCommandsTest, AnEmptyOrCancelledNameCreatesNothingAndSaysNothing) {
    dialogs_.names = {std::string(), std::nullopt};
    EXPECT_EQ(commands_.newPackage(), PackageChange::None);
    EXPECT_EQ(commands_.newPackage(), PackageChange::None);
    EXPECT_TRUE(store_.empty());
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PackageCommandsTest, ANameListedInAnotherCaseIsRefused) {
    newPackage("ABC");
    dialogs_.names.push_back("abc");
    EXPECT_EQ(commands_.newPackage(), PackageChange::None);
    EXPECT_EQ(store_.size(), 1u);
    EXPECT_EQ(messages_.shown, std::vector{kExists});
}

TEST_F(PackageCommandsTest, ThePackageFileListedAlreadyIsRefusedInAnyCase) {
    const std::string path = writePackageFile("release.xml", "Release");
    dialogs_.files = {path, path, folder_.path().string() + "/RELEASE.XML"};
    EXPECT_EQ(commands_.loadPackage(), PackageChange::PackageBox);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(commands_.loadPackage(), PackageChange::None);
    EXPECT_EQ(store_.size(), 1u);
    EXPECT_EQ(messages_.shown, std::vector(2, kExists));
    EXPECT_EQ(dialogs_.fileDialogs.front(), std::make_pair(std::string("Load package file..."), std::string()));
}

TEST_F(PackageCommandsTest, ALoadedPackageMayShareAUserPackagesName) {
    newPackage("Release");
    dialogs_.files.push_back(writePackageFile("release.xml", "Release"));
    EXPECT_EQ(commands_.loadPackage(), PackageChange::PackageBox);
    EXPECT_EQ(boxNames(), (std::vector<std::string>{"Release", "Release"}));
    EXPECT_EQ(commands_.selectedPackage(), &store_[1]);
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

TEST_F(PackageCommandsTest, ItemsOfALoadedPackageAreNeverChanged) {
    dialogs_.files.push_back(writePackageFile("release.xml", "Release"));
    ASSERT_EQ(commands_.loadPackage(), PackageChange::PackageBox);
    dialogs_.types.push_back(Type(0).guid);
    EXPECT_EQ(commands_.addItem(), PackageChange::None);
    EXPECT_EQ(store_[0].itemCount(), 0u);
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

TEST_F(PackageCommandsTest, TheComboBoxShowsTheSortedNamesThroughItsModel) {
    PackageBoxModel model(commands_);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QComboBox box;
    box.setModel(&model);
    for (const char* name : {"P1", "p3", "P2"}) {
        newPackage(name);
        model.refresh();
    }
    box.setCurrentIndex(commands_.selectedEntry());
    EXPECT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(2), "p3");
    EXPECT_EQ(box.currentText(), "P2");
}

// The store as the list file left it: Alpha, Gamma, beta; the box sorts them.
struct SelectLastCase {
    std::string lastPackage;
    std::string selected;
};

class SelectLastTest : public PackageCommandsTest, public ::testing::WithParamInterface<SelectLastCase> {
protected:
    SelectLastTest() : PackageCommandsTest(GetParam().lastPackage) {}
};

TEST_P(SelectLastTest, AfterDeletingTheSelectedPackage) {
    for (const char* name : {"Alpha", "Gamma", "beta", "Doomed"}) {
        newPackage(name);
    }
    ASSERT_EQ(selectedName(), "Doomed");
    commands_.deletePackage();
    EXPECT_EQ(boxNames(), (std::vector<std::string>{"Alpha", "beta", "Gamma"}));
    EXPECT_EQ(selectedName(), GetParam().selected);
}

INSTANTIATE_TEST_SUITE_P(LastPackage, SelectLastTest,
                         ::testing::Values(SelectLastCase{"", "beta"},           // where the last package landed
                                           SelectLastCase{"GA", "Gamma"},        // a prefix, in any case
                                           SelectLastCase{"Doomed", "beta"},     // gone: as without a name
                                           SelectLastCase{"Alphabet", "beta"}));  // longer than any name

}  // namespace
}  // namespace tarnwick
