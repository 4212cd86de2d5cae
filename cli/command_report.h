// SPDX-License-Identifier: GPL-2.0-or-later
// Where a camera command reports what happens: lines for a person (progress
// on the error stream, the camera's fields and the outcome on the output
// stream), or, with --json, one JSON object per line on the output stream
// for a program to log and parse:
//
//   {"event":"status","text":"Write <uc.bin> to 0x00010000"}
//   {"event":"progress","position":3,"range":[0,40]}
//   {"event":"field","name":"version","text":"BLS v2.11"}
//   {"event":"message","text":"Sector write failed - CRC error","caption":""}
//   {"event":"note","text":"tarnwick-cli: no item of type Corvel::FPGA in pkg.xml"}
//   {"event":"result","status":5,"text":"tarnwick-cli: not every job succeeded",
//    "jobs":[{"step":"erase","start":65536,"length":983040,"item":null,"result":"success"}, ...]}
//
// Field names: version, platform, blankCheck, checksum1, checksum2. Job
// steps: erase, write, setChecksum, verify, getChecksum, blankCheck; results:
// success, failure, commError, crcError, notRun. The result event comes last.
// A backup's result also lists its regions:
//
//   "regions":[{"item":"Corvel::uC","start":65536,"length":983040,"result":"read",
//               "lengthWord":10002,"bytes":10002}, ...]
//
// with the results read, noImage, pastRegion and notRead; lengthWord is null
// where it was not read (a whole region, or a read that failed). When the
// command works on several ports, every event of a camera names its port:
// "port":"COM3".
//
// Used on the session's thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera_backup.h"
#include "cli.h"
#include "notices.h"
#include "update_orchestrator.h"

namespace tarnwick {

class CommandReport {
public:
    virtual ~CommandReport() = default;

    virtual void progress(const ProgressDisplay& progress) = 0;
    virtual void field(TargetField field, std::string_view text) = 0;
    // A message of the system, as the window would show it in a box.
    virtual void message(std::string_view text, std::string_view caption) = 0;
    // A word of the command line itself.
    virtual void note(std::string_view text) = 0;
    // The state of the region an item command worked on, once it has ended.
    virtual void regionState(std::string_view blankCheck, std::string_view checksum1,
                             std::string_view checksum2) = 0;
    // What a backup found in each region; before the outcome.
    virtual void backupRegions(const std::vector<BackupRegion>& regions) = 0;
    // Last: the exit status, what the command says about it (may be empty),
    // and each job of the run it queued.
    virtual void outcome(int status, std::string_view text, const std::vector<RunJobOutcome>& jobs) = 0;
};

// progressInPlace: redraw the progress on one line (a terminal).
std::unique_ptr<CommandReport> MakeTextReport(CliStreams streams, bool progressInPlace);
// port: the camera's port, named in every event when the command works on
// several.
std::unique_ptr<CommandReport> MakeJsonReport(std::ostream& out, std::optional<std::string> port = std::nullopt);

// The system's messages of a step that runs outside a session, such as
// opening the package.
class ReportedMessages final : public UserMessages {
public:
    explicit ReportedMessages(CommandReport& report) : report_(report) {}
    void showMessage(std::string_view text, std::string_view caption, MessageIcon) override {
        report_.message(text, caption);
    }

private:
    CommandReport& report_;
};

}  // namespace tarnwick
