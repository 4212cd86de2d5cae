// SPDX-License-Identifier: GPL-2.0-or-later
#include "camera_backup.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>

#include "file_io.h"
#include "firmware_import.h"
#include "package_file.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

constexpr std::string_view kFolderMissingText = "Can't write %s: the folder does not exist";
constexpr std::string_view kFolderInPlaceText = "Can't write %s: it is a folder";
constexpr std::string_view kFileExistsText = "%s exists already and is not replaced";
constexpr std::string_view kNotForCameraText = "%s is not for this camera (%s)";
constexpr std::string_view kNoRegionText = "This camera (%s) has no region to back up";

constexpr std::string_view kImageReadText = "%s: %s bytes read";
constexpr std::string_view kRegionReadText = "%s: %s bytes read (the whole region)";
constexpr std::string_view kNoImageText = "%s: no image recorded (length word 0x%s)";
constexpr std::string_view kPastRegionText = "%s: length word 0x%s points past the region (%s bytes at most); not read";
constexpr std::string_view kNotReadText = "%s: not read";

constexpr std::string_view kReadFailedText = "Backup not written: a region could not be read whole";
constexpr std::string_view kNothingReadText = "Backup not written: no region holds an image";
constexpr std::string_view kUnpackableText = "Backup not written: %s";
constexpr std::string_view kNotWrittenText = "Backup not written to %s: %s";
constexpr std::string_view kWrittenText = "Backup written to %s";

constexpr std::string_view kPackageNameFormat = "Backup %s %s %s";

// The format with each "%s" replaced by the next value, in turn.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string text;
    const auto* value = values.begin();
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format.substr(at, 2) == "%s" && value != values.end()) {
            text += *value++;
            ++at;
        } else {
            text += format[at];
        }
    }
    return text;
}

std::string HexWord(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool IsReadAs(const BackupRegion& region, RegionCopy::State state) { return region.copy.state == state; }

}  // namespace

std::optional<std::string> BackupFileRefusal(const std::filesystem::path& file, bool replace) {
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    std::error_code error;
    if (!IsExistingFolder(folder)) {
        return Fill(kFolderMissingText, {file.string()});
    }
    if (std::filesystem::is_directory(file, error)) {
        return Fill(kFolderInPlaceText, {file.string()});
    }
    if (!replace && std::filesystem::exists(std::filesystem::symlink_status(file, error))) {
        return Fill(kFileExistsText, {file.string()});
    }
    return std::nullopt;
}

std::variant<std::vector<BackupRegion>, std::string> PlanBackup(TargetPlatform platform,
                                                                 const BackupRequest& request) {
    const auto ofCamera = [platform](const ImageType& type) {
        return type.platform == static_cast<std::uint32_t>(platform) && HasFlashRegion(type);
    };
    for (const ImageType* named : request.types) {
        if (!ofCamera(*named)) {
            return Fill(kNotForCameraText, {named->name, platformName(platform)});
        }
    }
    std::vector<BackupRegion> regions;
    for (const ImageType& type : ImageTypes()) {
        const bool asked = request.types.empty() || std::ranges::find(request.types, &type) != request.types.end();
        if (ofCamera(type) && asked) {
            BackupRegion& region = regions.emplace_back();
            region.type = &type;
            region.copy.fileName = BackupFileName(type);
            region.copy.wholeRegion = request.wholeRegions;
        }
    }
    if (regions.empty()) {
        return Fill(kNoRegionText, {platformName(platform)});
    }
    return regions;
}

std::string BackupFileName(const ImageType& type) {
    std::string name(type.name);
    if (const std::size_t colons = name.find("::"); colons != std::string::npos) {
        name.replace(colons, 2, "-");
    }
    return name + ".bin";
}

std::string BackupRegionText(const BackupRegion& region) {
    const RegionCopy& copy = region.copy;
    const std::string_view name = region.type->name;
    switch (copy.state) {
    case RegionCopy::State::Read:
        return Fill(copy.wholeRegion ? kRegionReadText : kImageReadText, {name, std::to_string(copy.bytes.size())});
    case RegionCopy::State::NoImage:
        return Fill(kNoImageText, {name, HexWord(copy.lengthWord)});
    case RegionCopy::State::PastRegion:
        return Fill(kPastRegionText,
                    {name, HexWord(copy.lengthWord), std::to_string(imageRoomInRegion(*region.type))});
    case RegionCopy::State::NotRead:
        break;
    }
    return Fill(kNotReadText, {name});
}

std::string BackupWrittenText(const std::filesystem::path& file) { return Fill(kWrittenText, {file.string()}); }

PackedBackup PackBackup(const std::vector<BackupRegion>& regions, const TargetInfo& target, std::int64_t time) {
    PackageContents contents;
    contents.name = Fill(kPackageNameFormat, {platformName(target.flash.platform()), target.versionText,
                                              FormatFileTime(LocalFileTime(time))});
    contents.time = time;
    for (const BackupRegion& region : regions) {
        if (IsReadAs(region, RegionCopy::State::Read)) {
            const std::optional<VersionMarker> marker = FindVersionMarker(region.copy.bytes);
            contents.files.push_back(PackedFile{region.type->guid, region.copy.fileName, kNoCameraModel,
                                                marker ? marker->version : 0, time, region.copy.bytes});
        }
    }
    PackedBackup packed;
    try {
        packed.text = BuildPackageText(contents);
    } catch (const std::runtime_error& error) {
        packed.failure = error.what();
        return packed;
    }
    packed.failure = ReadBackRefusal(packed.text, contents.files);
    return packed;
}

CameraBackup::CameraBackup(Worker& worker, UpdateOrchestrator& orchestrator, OrchestrationView& view,
                           UserMessages& messages)
    : worker_(worker), orchestrator_(orchestrator), view_(view), messages_(messages) {}

CameraBackup::~CameraBackup() {
    if (running()) {
        worker_.stop();
    }
}

bool CameraBackup::canStart() const { return !running() && !worker_.isRunning(); }

CommandOutcome CameraBackup::start(BackupRequest request) {
    if (!canStart()) {
        return CommandOutcome::Nothing;
    }
    request_ = std::move(request);
    regions_.clear();
    if (const std::optional<std::string> refusal = BackupFileRefusal(request_.file, request_.replace)) {
        ending_ = BackupEnding::FileRefused;
        show(*refusal, MessageIcon::Exclamation);
        return CommandOutcome::Refused;
    }
    ending_ = BackupEnding::None;
    stage_ = Stage::Connecting;
    view_.enableMainWindow(false);
    orchestrator_.connectOrDisconnect();
    // The port could not be opened; the orchestrator has said why.
    if (!worker_.isRunning()) {
        finish();
        return CommandOutcome::Nothing;
    }
    return CommandOutcome::Started;
}

void CameraBackup::handle(const PostedMessage& message) {
    switch (stage_) {
    case Stage::Idle:
        return;
    case Stage::Connecting:
        if (orchestrator_.connected()) {
            startReading();
        } else if (!worker_.isRunning()) {
            finish();
        }
        return;
    case Stage::Reading:
        if (message.message == Message::MsgJobsDone) {
            closeLink();
        } else if (!worker_.isRunning()) {
            finish();
        }
        return;
    case Stage::Closing:
        if (!worker_.isRunning()) {
            finish();
        }
        return;
    }
}

void CameraBackup::startReading() {
    auto plan = PlanBackup(worker_.targetInfo().flash.platform(), request_);
    if (const auto* refusal = std::get_if<std::string>(&plan)) {
        ending_ = BackupEnding::Refused;
        show(*refusal, MessageIcon::Exclamation);
        closeLink();
        return;
    }
    regions_ = std::move(std::get<std::vector<BackupRegion>>(plan));
    constexpr bool signal = false;
    for (BackupRegion& region : regions_) {
        worker_.queueRead(region.type->startAddress, region.type->regionSize, region.copy, signal);
    }
    stage_ = Stage::Reading;
    worker_.requestJobRun();
}

// As after an update: the closing commands, whose end stops the worker.
void CameraBackup::closeLink() {
    stage_ = Stage::Closing;
    worker_.disconnect();
    if (!worker_.isRunning()) {
        finish();
    }
}

void CameraBackup::finish() {
    const Stage reached = stage_;
    stage_ = Stage::Idle;
    if (reached == Stage::Connecting) {
        ending_ = BackupEnding::NotConnected;
    } else if (ending_ != BackupEnding::Refused) {
        ending_ = conclude();
    }
    view_.enableMainWindow(true);
    view_.refreshControls();
}

BackupEnding CameraBackup::conclude() {
    if (std::ranges::any_of(regions_, [](const BackupRegion& region) {
            return IsReadAs(region, RegionCopy::State::NotRead);
        })) {
        show(kReadFailedText, MessageIcon::Error);
        return BackupEnding::ReadFailed;
    }
    if (std::ranges::none_of(regions_, [](const BackupRegion& region) {
            return IsReadAs(region, RegionCopy::State::Read);
        })) {
        show(kNothingReadText, MessageIcon::Exclamation);
        return BackupEnding::NothingRead;
    }
    const PackedBackup packed = PackBackup(regions_, worker_.targetInfo(), Now());
    if (packed.failure) {
        show(Fill(kUnpackableText, {*packed.failure}), MessageIcon::Error);
        return BackupEnding::Unpackable;
    }
    const std::filesystem::path& file = request_.file;
    const std::error_code error = request_.replace ? ReplaceFile(file, packed.text) : WriteNewFile(file, packed.text);
    if (error) {
        show(Fill(kNotWrittenText, {file.string(), error.message()}), MessageIcon::Error);
        return BackupEnding::NotWritten;
    }
    return BackupEnding::Written;
}

void CameraBackup::show(std::string_view text, MessageIcon icon) {
    messages_.showMessage(text, kProgramCaption, icon);
}

}  // namespace tarnwick
