// SPDX-License-Identifier: GPL-2.0-or-later
#include "command_texts.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "file_io.h"
#include "notices.h"

namespace tarnwick {
namespace {

struct StepText {
    BatchStep step;
    std::string_view doing;
    // The step changes the flash, so stopping it halfway leaves the region
    // neither as it was nor as it should be.
    bool writes;
};

constexpr std::array kStepTexts{
    StepText{BatchStep::Erase, "Erasing", true},
    StepText{BatchStep::Write, "Writing", true},
    StepText{BatchStep::SetChecksum, "Setting the checksum of", true},
    StepText{BatchStep::Verify, "Verifying", false},
    StepText{BatchStep::GetChecksum, "Reading the checksum of", false},
    StepText{BatchStep::BlankCheck, "The blank check of", false},
};

struct CommandText {
    CommandKind command;
    // Names the command in its outcome; "%s" stands for the item.
    std::string_view doing;
    std::string_view done;
    std::string_view runAgain;
};

constexpr std::array kCommandTexts{
    CommandText{CommandKind::Update, "Update", kCameraUpdatedText, "Run the update again."},
    CommandText{CommandKind::EraseAndProgram, "Programming %s", "%s programmed.", "Run Erase & Program again."},
    CommandText{CommandKind::Erase, "Erasing %s", "%s erased.", "Run Erase again."},
    CommandText{CommandKind::UpdateInfo, "Reading %s", "%s read.", ""},
};

const CommandText& TextsOf(CommandKind command) {
    return *std::ranges::find(kCommandTexts, command, &CommandText::command);
}

std::string WithItem(std::string_view format, std::string_view itemName) {
    std::string text(format);
    if (const std::size_t at = text.find("%s"); at != std::string::npos) {
        text.replace(at, 2, itemName);
    }
    return text;
}

std::string RegionText(const PlannedJob& job) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "0x%08X to 0x%08X", static_cast<unsigned>(job.start),
                  static_cast<unsigned>(job.start + job.length - 1));
    return text.data();
}

std::string UserFileText(const PackageItem& item, LoadResult result) {
    if (item.fileName.empty()) {
        return item.typeName + " has no file attached.";
    }
    if (result == LoadResult::NoFile) {
        return "The file of " + item.typeName + " is missing: " + item.fileName;
    }
    return "The file of " + item.typeName + " can't be read: " + item.fileName + " (" +
           UnreadableFileReason(item.fileName, "read error") + ")";
}

std::string PackageFileText(const Package& package, const PackageItem& item, LoadResult result) {
    if (result == LoadResult::PackageUnreadable) {
        return "The package file of " + item.typeName + " can't be read: " + package.path() + " (" +
               UnreadableFileReason(package.path(), "not a package file") + ")";
    }
    return "The package file no longer holds the image of " + item.typeName + ": " + package.path();
}

}  // namespace

std::string ItemLoadText(const Package& package, const ItemLoadFailure& failure) {
    if (failure.item >= package.itemCount()) {
        return "The package " + package.name() + " has no items.";
    }
    const PackageItem& item = package.items()[failure.item];
    if (!failure.raised.empty()) {
        return "The image of " + item.typeName + " in " + package.path() + " is damaged.";
    }
    return package.isUserBuilt() ? UserFileText(item, failure.result) : PackageFileText(package, item, failure.result);
}

Refusal LoadRefusal(CommandKind command, const Package& package, const ItemLoadFailure& failure) {
    const std::string itemText = ItemLoadText(package, failure);
    if (!failure.raised.empty()) {
        return {DoProgramFailedText(failure.raised) + '\n' + itemText, MessageIcon::Error};
    }
    if (command == CommandKind::EraseAndProgram) {
        return {CantLoadPackageText(static_cast<std::uint32_t>(failure.result)) + '\n' + itemText, MessageIcon::Error};
    }
    return {itemText, MessageIcon::Exclamation};
}

std::string NothingDoneText(std::string_view itemName) {
    return "Nothing was done to " + std::string(itemName) + ".";
}

std::string UnsuitableItemText(const Package& package, TargetPlatform platform) {
    for (const PackageItem& item : package.items()) {
        if (item.platform != static_cast<std::uint32_t>(platform)) {
            return item.typeName + " is for " +
                   std::string(platformName(static_cast<TargetPlatform>(item.platform))) + " cameras.";
        }
    }
    return {};
}

std::string UnfinishedJobText(const PlannedJob& job, std::string_view itemName) {
    const StepText& step = *std::ranges::find(kStepTexts, job.step, &StepText::step);
    const std::string text =
        std::string(step.doing) + ' ' + std::string(itemName) + " (" + RegionText(job) + ") did not finish";
    return text + (step.writes ? ": the region may now be partly written." : ".");
}

std::string FailedJobText(CommandKind command, const PlannedJob& job, std::string_view itemName) {
    const std::string_view runAgain = TextsOf(command).runAgain;
    return runAgain.empty() ? std::string() : UnfinishedJobText(job, itemName) + ' ' + std::string(runAgain);
}

std::string OutcomeText(CommandKind command, std::string_view itemName, RunEnd end, std::string_view detail) {
    const CommandText& texts = TextsOf(command);
    switch (end) {
    case RunEnd::Succeeded:
        return WithItem(texts.done, itemName);
    case RunEnd::Failed:
        return WithItem(texts.doing, itemName) + " failed" + (detail.empty() ? "." : ": " + std::string(detail));
    case RunEnd::Cancelled:
        break;
    }
    return WithItem(texts.doing, itemName) + " cancelled." + (detail.empty() ? "" : " " + std::string(detail));
}

}  // namespace tarnwick
