// SPDX-License-Identifier: GPL-2.0-or-later
// history: the runs the history keeps, newest first, as lines for a person,
// one JSON object a run, or CSV; or one run with its jobs.
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

#include "commands.h"
#include "history_store.h"
#include "target_commands.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

enum class Format { Text, Json, Csv };

struct HistoryArguments {
    RunFilter filter;
    std::optional<std::int64_t> show;
    Format format = Format::Text;
};

std::optional<std::int64_t> ParseId(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

bool SetFormat(HistoryArguments& parsed, Format format) {
    if (parsed.format != Format::Text) {
        return false;
    }
    parsed.format = format;
    return true;
}

// A port as `--port` of the camera commands names it: a number, which runs
// recorded as "COM<n>", or a device path, which also matches the device a
// run's port led to.
bool SetPort(RunFilter& filter, std::string_view text) {
    const std::optional<PortArgument> port = ParsePort(text);
    if (!port) {
        return false;
    }
    if (port->number) {
        filter.port = "COM" + std::to_string(*port->number);
    } else {
        std::error_code ignored;
        filter.port = port->device.string();
        filter.device = std::filesystem::weakly_canonical(port->device, ignored).string();
    }
    return true;
}

// Reads one option at args[i], advancing i past its value; false when the
// argument is not one the command takes or its value is malformed.
bool ParseOption(std::span<const std::string> args, std::size_t& i, HistoryArguments& parsed) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--since" && hasValue) {
        parsed.filter.since = LocalTime(args[++i]);
        return parsed.filter.since.has_value();
    }
    if (arg == "--port" && hasValue) {
        return SetPort(parsed.filter, args[++i]);
    }
    if (arg == "--camera" && hasValue) {
        parsed.filter.camera = args[++i];
        return true;
    }
    if (arg == "--show" && hasValue) {
        parsed.show = ParseId(args[++i]);
        return parsed.show.has_value();
    }
    if (arg == "--failed") {
        parsed.filter.unsuccessfulOnly = true;
        return true;
    }
    if (arg == "--json" || arg == "--csv") {
        return SetFormat(parsed, arg == "--json" ? Format::Json : Format::Csv);
    }
    return false;
}

std::optional<HistoryArguments> ParseArguments(std::span<const std::string> args) {
    HistoryArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!ParseOption(args, i, parsed)) {
            return std::nullopt;
        }
    }
    // --show names one run: a filter or CSV has nothing to do there.
    const RunFilter& filter = parsed.filter;
    const bool filtered = filter.since || !filter.port.empty() || !filter.camera.empty() || filter.unsuccessfulOnly;
    if (parsed.show && (filtered || parsed.format == Format::Csv)) {
        return std::nullopt;
    }
    parsed.filter.withJobs = parsed.format != Format::Text;
    return parsed;
}

std::string Hex(std::uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", value);
    return text.data();
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// One line a run: id, start, front end and command, port, camera, package, outcome.
void PrintLine(const RunRecord& run, std::ostream& out, bool toTerminal) {
    out << run.id << '\t' << LocalTimeText(run.started) << '\t' << run.frontEnd << ' ' << run.command << '\t'
        << printable(run.port, toTerminal) << '\t' << printable(OrDash(run.bootCode), toTerminal) << '\t'
        << printable(OrDash(run.packageName), toTerminal) << '\t' << OutcomeText(run) << '\n';
}

void PrintRun(const RunRecord& run, std::ostream& out, bool toTerminal) {
    const auto line = [&](std::string_view label, const std::string& text) {
        out << label << printable(text, toTerminal) << '\n';
    };
    out << "Run:        " << run.id << '\n';
    line("Started:    ", LocalTimeText(run.started));
    line("Ended:      ", LocalTimeText(run.ended));
    line("Command:    ", run.frontEnd + " " + run.command);
    line("Port:       ", run.port + (run.device.empty() || run.device == run.port ? "" : " (" + run.device + ")"));
    if (!run.adapterSerial.empty()) {
        line("Adapter:    ", "serial " + run.adapterSerial);
    }
    line("Boot code:  ", OrDash(run.bootCode));
    line("Flash chip: ", run.flashChip.empty() ? "-" : run.flashChip + " (" + run.family + ")");
    if (!run.packageName.empty()) {
        line("Package:    ", run.packageName + (run.packagePath.empty() ? "" : " (" + run.packagePath + ")"));
        if (!run.packageSha256.empty()) {
            line("            ", "sha256 " + run.packageSha256);
        }
    }
    for (const ImageRecord& image : run.images) {
        line("Image:      ", image.type + " " + image.version + " sha256 " + image.sha256);
    }
    line("Outcome:    ", std::string(OutcomeName(run.outcome)) +
                            (run.exitStatus ? ", exit status " + std::to_string(*run.exitStatus) : ""));
    if (!run.jobs.empty()) {
        out << "Jobs:\n";
    }
    for (const JobRecord& job : run.jobs) {
        std::array<char, 128> text{};
        std::snprintf(text.data(), text.size(), "  %-12s %s %s  %-28s %s", job.step.c_str(), Hex(job.start).c_str(),
                      Hex(job.length).c_str(), OrDash(job.item).c_str(), job.result.c_str());
        line("", text.data());
    }
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

nlohmann::ordered_json RunJson(const RunRecord& run) {
    nlohmann::ordered_json images = nlohmann::ordered_json::array();
    for (const ImageRecord& image : run.images) {
        images.push_back({{"type", image.type}, {"version", image.version}, {"sha256", image.sha256}});
    }
    nlohmann::ordered_json jobs = nlohmann::ordered_json::array();
    for (const JobRecord& job : run.jobs) {
        jobs.push_back({{"step", job.step}, {"start", job.start}, {"length", job.length},
                        {"item", TextOrNull(job.item)}, {"result", job.result}});
    }
    nlohmann::ordered_json package = nullptr;
    if (!run.packageName.empty()) {
        package = {{"name", run.packageName}, {"path", run.packagePath}, {"sha256", TextOrNull(run.packageSha256)}};
    }
    return {
        {"id", run.id},
        {"started", StoredTimeText(run.started)},
        {"ended", StoredTimeText(run.ended)},
        {"frontEnd", run.frontEnd},
        {"command", run.command},
        {"port", run.port},
        {"device", run.device},
        {"adapterSerial", run.adapterSerial},
        {"bootCode", run.bootCode},
        {"flashChip", run.flashChip},
        {"family", run.family},
        {"package", package},
        {"images", images},
        {"outcome", OutcomeName(run.outcome)},
        {"exitStatus", run.exitStatus ? nlohmann::ordered_json(*run.exitStatus) : nlohmann::ordered_json(nullptr)},
        {"jobs", jobs},
    };
}

void PrintJson(const RunRecord& run, std::ostream& out) {
    // Texts are in the system's 8-bit code page; invalid UTF-8 is replaced.
    out << RunJson(run).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

// A field as RFC 4180 wants it: quoted, with quotes doubled, when it holds a
// separator, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

constexpr std::string_view kCsvHeader =
    "id,started,ended,front_end,command,port,device,adapter_serial,boot_code,flash_chip,family,package_name,"
    "package_path,package_sha256,images,outcome,exit_status\r\n";

void PrintCsv(const RunRecord& run, std::ostream& out) {
    std::string images;
    for (const ImageRecord& image : run.images) {
        images += (images.empty() ? "" : "; ") + image.type + " " + image.version + " " + image.sha256;
    }
    out << run.id;
    for (const std::string& field :
         {StoredTimeText(run.started), StoredTimeText(run.ended), run.frontEnd, run.command, run.port, run.device,
          run.adapterSerial, run.bootCode, run.flashChip, run.family, run.packageName, run.packagePath,
          run.packageSha256, images, std::string(OutcomeName(run.outcome)),
          run.exitStatus ? std::to_string(*run.exitStatus) : std::string()}) {
        out << ',' << CsvField(field);
    }
    out << "\r\n";
}

int NoSuchRun(std::int64_t id, std::ostream& err) {
    err << "tarnwick-cli: no run " << id << " in the history\n";
    return kExitFailure;
}

int ShowRun(HistoryStore& store, std::int64_t id, Format format, CliStreams streams) {
    const std::optional<RunRecord> run = store.find(id);
    if (!run) {
        return NoSuchRun(id, streams.err);
    }
    format == Format::Json ? PrintJson(*run, streams.out) : PrintRun(*run, streams.out, streams.outIsTerminal);
    return kExitSuccess;
}

int ListRuns(HistoryStore& store, const HistoryArguments& arguments, CliStreams streams) {
    const std::vector<RunRecord> runs = store.list(arguments.filter);
    if (arguments.format == Format::Csv) {
        streams.out << kCsvHeader;
    }
    for (const RunRecord& run : runs) {
        switch (arguments.format) {
        case Format::Text: PrintLine(run, streams.out, streams.outIsTerminal); break;
        case Format::Json: PrintJson(run, streams.out); break;
        case Format::Csv: PrintCsv(run, streams.out); break;
        }
    }
    return kExitSuccess;
}

}  // namespace

int RunHistory(std::span<const std::string> args, CliStreams streams) {
    const std::optional<HistoryArguments> arguments = ParseArguments(args);
    if (!arguments) {
        streams.err << "usage: tarnwick-cli " << kHistoryUsage << '\n';
        return kExitUsage;
    }
    const std::filesystem::path file = DefaultHistoryFile();
    if (file.empty()) {
        streams.err << "tarnwick-cli: no folder for the history (set HOME or XDG_DATA_HOME)\n";
        return kExitFailure;
    }
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        // Nothing has been recorded yet: an empty history.
        return arguments->show ? NoSuchRun(*arguments->show, streams.err) : kExitSuccess;
    }
    try {
        HistoryStore store(file, false);
        return arguments->show ? ShowRun(store, *arguments->show, arguments->format, streams)
                               : ListRuns(store, *arguments, streams);
    } catch (const HistoryError& failure) {
        streams.err << "tarnwick-cli: " << printable(UnreadableHistoryText(file, failure.what()), streams.errIsTerminal)
                    << '\n';
        return kExitFailure;
    }
}

}  // namespace tarnwick
