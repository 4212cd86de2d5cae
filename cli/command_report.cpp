// SPDX-License-Identifier: GPL-2.0-or-later
#include "command_report.h"

#include <nlohmann/json.hpp>

#include <array>
#include <string>

#include "console_messages.h"
#include "progress_line.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

class TextReport final : public CommandReport {
public:
    TextReport(CliStreams streams, bool progressInPlace)
        : streams_(streams), progress_(streams.err, progressInPlace), console_(streams.err, streams.errIsTerminal) {}
    ~TextReport() override { progress_.breakLine(); }
    TextReport(const TextReport&) = delete;
    TextReport& operator=(const TextReport&) = delete;

    void progress(const ProgressDisplay& progress) override {
        ProgressDisplay shown = progress;
        // Status lines name the image's file.
        shown.status = printable(progress.status, streams_.errIsTerminal);
        progress_.apply(shown);
    }

    void field(TargetField field, std::string_view text) override {
        if (field == TargetField::Version) {
            version_ = text;
        }
        // The platform line comes last when the connection procedure has
        // read the camera; emptied fields mean the link has gone.
        if (field == TargetField::Platform && !text.empty()) {
            progress_.breakLine();
            // The version text is whatever the camera sent.
            streams_.out << "Version:  " << printable(version_, streams_.outIsTerminal) << '\n'
                         << "Platform: " << text << '\n'
                         << std::flush;
        }
    }

    void message(std::string_view text, std::string_view caption) override {
        progress_.breakLine();
        console_.showMessage(text, caption, MessageIcon::None);
    }

    void note(std::string_view text) override {
        progress_.breakLine();
        streams_.err << printable(text, streams_.errIsTerminal) << '\n';
    }

    void regionState(std::string_view blankCheck, std::string_view checksum1, std::string_view checksum2) override {
        progress_.breakLine();
        streams_.out << "Blank check: " << blankCheck << '\n'
                     << "Checksum:    " << checksum1 << ' ' << checksum2 << '\n';
    }

    // The notes have said it region by region.
    void backupRegions(const std::vector<BackupRegion>&) override {}

    void outcome(int status, std::string_view text, const std::vector<RunJobOutcome>&) override {
        progress_.breakLine();
        if (text.empty()) {
            return;
        }
        const bool success = status == kExitSuccess;
        std::ostream& stream = success ? streams_.out : streams_.err;
        stream << printable(text, success ? streams_.outIsTerminal : streams_.errIsTerminal) << '\n' << std::flush;
    }

private:
    CliStreams streams_;
    ProgressLine progress_;
    ConsoleMessages console_;
    std::string version_;
};

constexpr std::array kFieldNames{"version", "platform", "blankCheck", "checksum1", "checksum2"};

constexpr std::string_view RegionResultName(RegionCopy::State state) {
    switch (state) {
    case RegionCopy::State::Read: return "read";
    case RegionCopy::State::NoImage: return "noImage";
    case RegionCopy::State::PastRegion: return "pastRegion";
    case RegionCopy::State::NotRead: return "notRead";
    }
    return "";
}

nlohmann::json RegionJson(const BackupRegion& region) {
    const RegionCopy& copy = region.copy;
    const bool wordRead = !copy.wholeRegion && copy.state != RegionCopy::State::NotRead;
    return {
        {"item", region.type->name},
        {"start", region.type->startAddress},
        {"length", region.type->regionSize},
        {"result", RegionResultName(copy.state)},
        {"lengthWord", wordRead ? nlohmann::json(copy.lengthWord) : nlohmann::json(nullptr)},
        {"bytes", copy.bytes.size()},
    };
}

nlohmann::json JobJson(const RunJobOutcome& outcome) {
    const PlannedJob& job = outcome.job;
    return {
        {"step", StepName(job.step)},
        {"start", job.start},
        {"length", job.length},
        {"item", job.item == nullptr ? nlohmann::json(nullptr) : nlohmann::json(job.item->typeName)},
        {"result", ResultName(outcome.result)},
    };
}

class JsonReport final : public CommandReport {
public:
    JsonReport(std::ostream& out, std::optional<std::string> port) : out_(out), port_(std::move(port)) {}

    void progress(const ProgressDisplay& progress) override {
        switch (progress.action) {
        case ProgressAction::None:
        case ProgressAction::Hide:
            return;
        case ProgressAction::Show:
            lower_ = progress.lower;
            upper_ = progress.upper;
            position_ = progress.position;
            return;
        case ProgressAction::SetStatus:
            emit({{"event", "status"}, {"text", progress.status}});
            return;
        case ProgressAction::SetRange:
            lower_ = progress.lower;
            upper_ = progress.upper;
            break;
        case ProgressAction::SetPosition:
            position_ = progress.position;
            break;
        case ProgressAction::Step:
            ++position_;
            break;
        }
        emit({{"event", "progress"}, {"position", position_}, {"range", {lower_, upper_}}});
    }

    void field(TargetField field, std::string_view text) override {
        emit({{"event", "field"}, {"name", kFieldNames.at(static_cast<std::size_t>(field))}, {"text", text}});
    }

    void message(std::string_view text, std::string_view caption) override {
        emit({{"event", "message"}, {"text", text}, {"caption", caption}});
    }

    void note(std::string_view text) override { emit({{"event", "note"}, {"text", text}}); }

    // The fields have gone out as they came.
    void regionState(std::string_view, std::string_view, std::string_view) override {}

    void backupRegions(const std::vector<BackupRegion>& regions) override {
        regions_ = nlohmann::json::array();
        for (const BackupRegion& region : regions) {
            regions_.push_back(RegionJson(region));
        }
    }

    void outcome(int status, std::string_view text, const std::vector<RunJobOutcome>& jobs) override {
        nlohmann::json list = nlohmann::json::array();
        for (const RunJobOutcome& job : jobs) {
            list.push_back(JobJson(job));
        }
        nlohmann::json result{{"event", "result"}, {"status", status}, {"text", text}, {"jobs", list}};
        if (!regions_.is_null()) {
            result["regions"] = regions_;
        }
        emit(result);
    }

private:
    void emit(nlohmann::json event) {
        if (port_) {
            event["port"] = *port_;
        }
        // Texts are in the system's 8-bit code page; invalid UTF-8 is replaced.
        out_ << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
    }

    std::ostream& out_;
    std::optional<std::string> port_;
    // A backup's regions, once it has ended.
    nlohmann::json regions_;
    std::uint32_t lower_ = 0;
    std::uint32_t upper_ = 0;
    std::uint32_t position_ = 0;
};

}  // namespace

std::unique_ptr<CommandReport> MakeTextReport(CliStreams streams, bool progressInPlace) {
    return std::make_unique<TextReport>(streams, progressInPlace);
}

std::unique_ptr<CommandReport> MakeJsonReport(std::ostream& out, std::optional<std::string> port) {
    return std::make_unique<JsonReport>(out, std::move(port));
}

}  // namespace tarnwick
