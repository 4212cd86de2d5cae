// SPDX-License-Identifier: GPL-2.0-or-later
// Which of the main window's controls are enabled, from the selection, the
// package list and the link; no widgets involved.
#pragma once

#include <array>
#include <cstddef>

#include "control_ids.h"
#include "flash_catalogue.h"
#include "package_model.h"

namespace tarnwick {

// The package box and "&New"/"&Load" stop at this many packages.
inline constexpr std::size_t kMaxPackages = 20;

struct ControlFacts {
    std::size_t packageCount = 0;
    // The selected package and item; nullptr when none.
    const Package* package = nullptr;
    const PackageItem* item = nullptr;
    bool connected = false;
    TargetPlatform cameraPlatform = TargetPlatform::Unknown;
};

struct ControlEnable {
    int id;
    bool enabled;

    friend bool operator==(const ControlEnable&, const ControlEnable&) = default;
};

// Every control whose state depends on the facts. The link controls may
// enable "&Update camera..." once more afterwards (the orchestrator's link
// controls), until the next recomputation.
std::array<ControlEnable, 13> enabledControls(const ControlFacts& facts);

}  // namespace tarnwick
