// The window's plain rules: enable states, caption and About text.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>

#include "catalogues.h"
#include "enable_rules.h"
#include "version_record.h"

namespace tarnwick {
namespace {

const ImageType& TypeNamed(std::string_view name) {
    return *std::ranges::find_if(ImageTypes(), [&](const ImageType& type) { return type.name == name; });
}

std::map<int, bool> EnabledMap(const ControlFacts& facts) {
    std::map<int, bool> states;
    for (const ControlEnable& rule : enabledControls(facts)) {
        states[rule.id] = rule.enabled;
    }
    return states;
}

TEST(EnableRules, EachSituationEnablesExactlyItsControls) {
    Package user("Mine", "");
    user.AppendItem(PackageItem(TypeNamed("Corvel::uC")));
    PackageItem& userItem = user.items()[0];
    Package loaded("Release", "/pkg/release.xml");
    loaded.AppendItem(PackageItem(TypeNamed("Corvel::uC")));
    loaded.items()[0].fileName = "uc.bin";
    const PackageItem* loadedItem = &loaded.items()[0];

    // Package box, item list, property list, Delete, New, Load, Add item,
    // Del item, Detach file, Update camera, Erase, Update info, Erase && Program.
    using Row = std::array<bool, 13>;
    const struct {
        const char* name;
        ControlFacts facts;
        Row enabled;
    } rows[] = {
        {"no package", {0}, {0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {"user package, no file", {1, &user}, {1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {"user package, item", {1, &user, &userItem}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}},
        {"loaded package, item", {2, &loaded, loadedItem}, {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}},
        {"20 packages", {20, &loaded}, {1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"19 packages", {19, &loaded}, {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}},
        {"connected, same platform", {1, &loaded, loadedItem, true, TargetPlatform::Corvel},
         {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1}},
        {"connected, no file", {1, &user, &userItem, true, TargetPlatform::Corvel},
         {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0}},
        {"connected, other platform", {1, &loaded, loadedItem, true, TargetPlatform::Sabrel},
         {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}},
        {"same platform, not connected", {1, &loaded, loadedItem, false, TargetPlatform::Corvel},
         {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}},
    };
    const int ids[] = {IdPackageBox, IdItemList,     IdPropertyList, IdDeletePackage, IdNewPackage,
                       IdLoadPackage, IdAddItem,     IdDeleteItem,   IdDetachFile,    IdUpdateCamera,
                       IdErase,       IdUpdateInfo,  IdEraseAndProgram};
    for (const auto& row : rows) {
        const std::map<int, bool> states = EnabledMap(row.facts);
        ASSERT_EQ(states.size(), std::size(ids));
        for (std::size_t index = 0; index < std::size(ids); ++index) {
            EXPECT_EQ(states.at(ids[index]), row.enabled[index]) << row.name << ", control " << ids[index];
        }
    }
}

TEST(VersionRecord, CaptionAndAboutTextShowTheReleaseCandidateOnlyWhenThereIsOne) {
    const VersionRecord release{"Tarnwick", "Vornix", "Legal", {1, 5, 0, 0}};
    const VersionRecord candidate{"Tarnwick", "Vornix", "Legal", {1, 30, 1, 0}};
    EXPECT_EQ(windowCaption(release), "Tarnwick v1.05");
    EXPECT_EQ(windowCaption(candidate), "Tarnwick v1.30-rc1");
    EXPECT_EQ(aboutText(release), "Tarnwick\nv1.05\n\nLegal\nVornix\n");
    EXPECT_EQ(aboutText(candidate), "Tarnwick\nv1.30-rc1\n\nLegal\nVornix\n");
    EXPECT_EQ(aboutText(VersionRecord{}), "\nv0.00\n\n\n\n") << "missing strings leave their lines empty";
}

TEST(VersionRecord, TheBuildCarriesTarnwick130Rc1FromVornix) {
    EXPECT_EQ(windowCaption(programVersion()), "Tarnwick v1.30-rc1");
    EXPECT_EQ(programVersion().companyName, "Vornix");
    EXPECT_FALSE(programVersion().legalCopyright.empty());
}

}  // namespace
}  // namespace tarnwick
