// SPDX-License-Identifier: GPL-2.0-or-later
#include "backup_command.h"


#include "catalogues.h"

namespace tarnwick {
namespace {

constexpr std::string_view kNoBackupWritten = "tarnwick-cli: no backup written";
constexpr std::string_view kNoConnection = "tarnwick-cli: no connection to the camera; no backup written";
constexpr std::string_view kForceHint = "tarnwick-cli: --force replaces it";

int StatusOf(BackupEnding ending) {
    switch (ending) {
    case BackupEnding::Written:
        return kExitSuccess;
    case BackupEnding::FileRefused:
    case BackupEnding::NotWritten:
        return kExitFailure;
    case BackupEnding::Refused:
        return kExitPackageRefused;
    case BackupEnding::ReadFailed:
    case BackupEnding::NothingRead:
    case BackupEnding::Unpackable:
        return kExitJobFailed;
    case BackupEnding::None:
    case BackupEnding::NotConnected:
        break;
    }
    return kExitNotConnected;
}

std::string SummaryOf(BackupEnding ending, const std::filesystem::path& file) {
    switch (ending) {
    case BackupEnding::Written:
        return BackupWrittenText(file);
    case BackupEnding::None:
    case BackupEnding::NotConnected:
        return std::string(kNoConnection);
    default:
        return std::string(kNoBackupWritten);
    }
}

}  // namespace

bool ParseBackupOption(std::span<const std::string> args, std::size_t& i, BackupOptions& options) {
    const std::string& arg = args[i];
    if (arg == "--item" && i + 1 < args.size()) {
        options.typeNames.push_back(args[++i]);
        return true;
    }
    if (arg == "--whole") {
        options.whole = true;
        return true;
    }
    if (arg == "--force") {
        options.force = true;
        return true;
    }
    return false;
}

int RunBackup(TargetSession& session, const std::filesystem::path& file, const BackupOptions& options,
              const CommandRun& run, CommandReport& report) {
    BackupRequest request{file, options.force, {}, options.whole};
    for (const std::string& name : options.typeNames) {
        const ImageType* type = FindImageTypeByName(name);
        if (type == nullptr) {
            report.note("tarnwick-cli: no image type is named " + name);
            report.outcome(kExitUsage, {}, {});
            return kExitUsage;
        }
        request.types.push_back(type);
    }
    const BackupEnding ending = session.backUp(std::move(request));
    std::error_code error;
    if (ending == BackupEnding::FileRefused && !options.force && std::filesystem::is_regular_file(file, error)) {
        report.note(kForceHint);
    }
    for (const BackupRegion& region : session.backupRegions()) {
        report.note(BackupRegionText(region));
    }
    report.backupRegions(session.backupRegions());
    const int status = StatusOf(ending);
    const bool interrupted = session.interrupted() && status != kExitSuccess;
    const int concluded = interrupted ? session.interruptStatus() : status;
    RecordRun(run, session, concluded, report);
    report.outcome(concluded, interrupted ? session.interruptSummary() : SummaryOf(ending, file), {});
    return concluded;
}

}  // namespace tarnwick
