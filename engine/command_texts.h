// SPDX-License-Identifier: GPL-2.0-or-later
// How the update commands tell their user why they refused and how they
// ended: the item whose data could not be loaded and why, what a job that
// did not finish leaves behind on the camera, and the one line that says
// how a command's run went. The window and the command line show the same
// texts.
//
// Pure functions, except that the reason a file cannot be read is looked
// up on the file system; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "orchestration_plan.h"
#include "package_file.h"
#include "package_model.h"
#include "user_messages.h"

namespace tarnwick {

inline constexpr std::string_view kCameraUpdatedText = "Camera updated.";

// The commands whose ends are told.
enum class CommandKind { Update, EraseAndProgram, Erase, UpdateInfo };

// How a command's run ended.
enum class RunEnd { Succeeded, Failed, Cancelled };

// A message box's text and icon.
struct Refusal {
    std::string text;
    MessageIcon icon;

    friend bool operator==(const Refusal&, const Refusal&) = default;
};

// Why the item's data could not be loaded, naming it: "Corvel::uC has no
// file attached.", "The file of Corvel::uC is missing: /fw/uc.bin", ...
std::string ItemLoadText(const Package& package, const ItemLoadFailure& failure);
// The refusal of a command whose load failed. Erase && Program keeps its own
// texts ("Can't load package file... (Error: 0x%02X)", "DoProgram failed: %s")
// with the item's text as a second line; "Update camera..." shows the item's
// text, under "DoProgram failed: %s" for a damaged image.
Refusal LoadRefusal(CommandKind command, const Package& package, const ItemLoadFailure& failure);

// The line under the Erase and Erase && Program refusals of the camera's
// state, which name no item: "Nothing was done to Corvel::uC."
std::string NothingDoneText(std::string_view itemName);
// The line under "Package not suitable for ... cameras!": the first item
// that is for another family, "Sabrel::uC is for Sabrel cameras."; empty
// when every item suits.
std::string UnsuitableItemText(const Package& package, TargetPlatform platform);

// What a job that did not finish leaves behind, e.g. "Writing Corvel::uC
// (0x00010000 to 0x000FFFFF) did not finish: the region may now be partly
// written."
std::string UnfinishedJobText(const PlannedJob& job, std::string_view itemName);
// The line under the failure of a job that did not finish: what it leaves
// behind and to run the command again ("... Run the update again."); empty
// for Update info, which only reads.
std::string FailedJobText(CommandKind command, const PlannedJob& job, std::string_view itemName);

// The window's line about how a command ended: "Camera updated.",
// "Programming Corvel::uC failed: <detail>", "Update cancelled. <detail>".
std::string OutcomeText(CommandKind command, std::string_view itemName, RunEnd end, std::string_view detail);

}  // namespace tarnwick
