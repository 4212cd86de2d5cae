// SPDX-License-Identifier: GPL-2.0-or-later
// Backing up a camera: the images of its regions read into a package file
// that the update commands, the window's Load and inspect read, and that
// restores them.
//
// What a backup reads and writes (the regions of a camera, the texts of each
// region, the package) are pure functions below. CameraBackup runs one
// backup from the connection to the written file: it connects through the
// update orchestrator, queues one read job a region, closes the link as
// after an update, and writes the file atomically.
//
// Threads: CameraBackup runs on the front end's thread, which hands it every
// worker message after the orchestrator has handled it. The worker writes
// the regions' copies during the run; they are read after its MsgJobsDone.
//
// Errors: every failure reaches the user through UserMessages in the
// system's texts (a read's own failure through the worker's notice), and the
// ending says how the backup ended. Nothing here throws to the front end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "catalogues.h"
#include "flash_operations.h"
#include "target_info.h"
#include "update_orchestrator.h"
#include "user_messages.h"
#include "worker.h"

namespace tarnwick {

struct BackupRequest {
    std::filesystem::path file;
    // The file may take the place of one that is there.
    bool replace = false;
    // The image types to read; none: every type of the camera's family that
    // has a region.
    std::vector<const ImageType*> types;
    // Each region whole, less its length word, instead of the image its
    // length word records.
    bool wholeRegions = false;
};

// One region of a backup and what its read found.
struct BackupRegion {
    const ImageType* type = nullptr;
    RegionCopy copy;
};

enum class BackupEnding {
    None,
    FileRefused,    // the file cannot be written where it was asked for
    NotConnected,
    Refused,        // the camera has none of the regions asked for
    ReadFailed,     // a region could not be read whole (or the read was cut short)
    NothingRead,    // no region holds an image
    Unpackable,     // a package cannot hold what was read
    NotWritten,     // writing the file failed
    Written,
};

// Why the file cannot take a backup, or nothing: its folder does not exist,
// a folder has its name, or a file has it and may not be replaced.
std::optional<std::string> BackupFileRefusal(const std::filesystem::path& file, bool replace);

// The regions to read on a camera of that family, in catalogue order, or why
// there are none: a named type is not of the family, or the family has no
// region.
std::variant<std::vector<BackupRegion>, std::string> PlanBackup(TargetPlatform platform,
                                                                 const BackupRequest& request);

// The file name of a type's image in a backup: "Corvel-uC.bin".
std::string BackupFileName(const ImageType& type);

// What became of a region: "Corvel::uC: 10002 bytes read",
// "Corvel::FPGA: no image recorded (length word 0xFFFFFFFF)", ...
std::string BackupRegionText(const BackupRegion& region);

// What a front end says once the backup is written: "Backup written to FILE".
std::string BackupWrittenText(const std::filesystem::path& file);

// The package file of the regions read, named "Backup <platform> <boot
// version text> <date and time>": one item a region read, its file name from
// its type, the version of the image's marker (else 0), the backup's time.
// The text is read back as the program reads packages and each image loaded
// before it is handed out; failure says why a package cannot hold them.
struct PackedBackup {
    std::string text;
    std::optional<std::string> failure;
};
PackedBackup PackBackup(const std::vector<BackupRegion>& regions, const TargetInfo& target, std::int64_t time);

class CameraBackup {
public:
    // All four outlive the backup.
    CameraBackup(Worker& worker, UpdateOrchestrator& orchestrator, OrchestrationView& view, UserMessages& messages);
    // Stops the link of a backup still running: no job may write into it later.
    ~CameraBackup();
    CameraBackup(const CameraBackup&) = delete;
    CameraBackup& operator=(const CameraBackup&) = delete;

    // No backup runs and the link is idle.
    [[nodiscard]] bool canStart() const;
    // Refuses a file it cannot write, else disables the main window and
    // connects; the rest follows from the worker's messages. Started when
    // connecting.
    CommandOutcome start(BackupRequest request);
    // Every worker message, after the orchestrator has handled it.
    void handle(const PostedMessage& message);

    // From a start until the file is written or the backup gave up.
    [[nodiscard]] bool running() const { return stage_ != Stage::Idle; }
    [[nodiscard]] BackupEnding ending() const { return ending_; }
    // The regions of the last backup and what became of each.
    [[nodiscard]] const std::vector<BackupRegion>& regions() const { return regions_; }
    [[nodiscard]] const BackupRequest& request() const { return request_; }

private:
    enum class Stage { Idle, Connecting, Reading, Closing };

    void startReading();
    void closeLink();
    void finish();
    // Writes the file when every region was read or holds no image.
    BackupEnding conclude();
    void show(std::string_view text, MessageIcon icon);

    Worker& worker_;
    UpdateOrchestrator& orchestrator_;
    OrchestrationView& view_;
    UserMessages& messages_;
    Stage stage_ = Stage::Idle;
    BackupEnding ending_ = BackupEnding::None;
    BackupRequest request_;
    std::vector<BackupRegion> regions_;
};

}  // namespace tarnwick
