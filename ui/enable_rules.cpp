// SPDX-License-Identifier: GPL-2.0-or-later
#include "enable_rules.h"

#include <algorithm>

namespace tarnwick {

std::array<ControlEnable, 13> enabledControls(const ControlFacts& facts) {
    const bool hasPackage = facts.package != nullptr;
    const bool hasItem = facts.item != nullptr;
    const bool editable = hasPackage && facts.package->isUserBuilt();
    const bool roomForMore = facts.packageCount < kMaxPackages;
    const bool anyFile = hasPackage && std::ranges::any_of(facts.package->items(), [](const PackageItem& item) {
                             return !item.fileName.empty();
                         });
    const bool itemFitsCamera = hasItem && facts.connected &&
                                facts.item->platform == static_cast<std::uint32_t>(facts.cameraPlatform);
    return {{
        {IdPackageBox, facts.packageCount > 0},
        {IdItemList, hasPackage},
        {IdPropertyList, hasPackage},
        {IdDeletePackage, hasPackage},
        {IdNewPackage, roomForMore},
        {IdLoadPackage, roomForMore},
        {IdAddItem, !hasPackage || editable},
        {IdDeleteItem, hasItem && editable},
        {IdDetachFile, hasItem && editable},
        {IdUpdateCamera, anyFile},
        {IdErase, itemFitsCamera},
        {IdUpdateInfo, itemFitsCamera},
        {IdEraseAndProgram, itemFitsCamera && !facts.item->fileName.empty()},
    }};
}

}  // namespace tarnwick
