// A user's package built with the window's commands survives a restart
// through the package list file.
#include <gtest/gtest.h>

#include "catalogues.h"
#include "item_properties.h"
#include "package_commands.h"
#include "package_store.h"
#include "package_test_fakes.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using testing::RecordingMessages;
using testing::ScriptedDialogs;

struct ItemSeen {
    std::string typeName;
    std::string fileName;
    std::string version;
    std::uint32_t cameraType;

    friend bool operator==(const ItemSeen&, const ItemSeen&) = default;
};

std::vector<ItemSeen> ItemsOf(const Package& package) {
    std::vector<ItemSeen> items;
    for (const PackageItem& item : package.items()) {
        items.push_back({item.typeName, item.fileName, FormatVersion(item.version), item.cameraType});
    }
    return items;
}

TEST(PackageRoundTrip, ABuiltPackageWithAnEditedVersionIsFoundAgainAfterARestart) {
    const testing::TemporaryFolder folder;
    const std::string uc = folder.write("fw/Corvel1b-2.01.bin", "uc image").string();
    const std::string fpga = folder.write("fw/corvel2c-1.05.rbf", "fpga image").string();
    const std::string configPath = folder.path().string();
    RecordingMessages messages;
    std::vector<ItemSeen> built;
    {
        PackageStore store;
        ScriptedDialogs dialogs;
        PackageCommands commands(store, dialogs, messages, "");
        dialogs.names.push_back("Lab set");
        dialogs.types = {ImageTypes()[1].guid, ImageTypes()[2].guid};
        dialogs.files = {uc, fpga};
        commands.newPackage();
        commands.addItem();
        commands.addItem();
        Package& package = *commands.selectedPackage();
        commands.attachFirmwareFile(&package.items()[0], {});
        commands.attachFirmwareFile(&package.items()[1], {});
        ASSERT_TRUE(SetEditedVersion(package.items()[1], "1.10"));
        built = ItemsOf(package);
        SavePackageList(store, configPath, messages);
    }
    ASSERT_EQ(built, (std::vector<ItemSeen>{{"Corvel::uC", uc, "2.01", 1}, {"Corvel::FPGA", fpga, "1.10", 4}}));

    PackageStore restarted;
    LoadPackageList(restarted, configPath, messages);
    ScriptedDialogs dialogs;
    PackageCommands commands(restarted, dialogs, messages, "lab");
    commands.refillPackageBox();
    ASSERT_NE(commands.selectedPackage(), nullptr);
    EXPECT_EQ(commands.selectedPackage()->name(), "Lab set");
    EXPECT_TRUE(commands.selectedPackage()->isUserBuilt());
    EXPECT_EQ(ItemsOf(*commands.selectedPackage()), built);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace tarnwick
