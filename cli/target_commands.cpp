// SPDX-License-Identifier: GPL-2.0-or-later
// The commands that work on a camera. Each parses its arguments, reads the
// package where it needs one, and leaves the rest to a TargetSession.
#include "target_commands.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "backup_command.h"
#include "command_report.h"
#include "commands.h"
#include "console_messages.h"
#include "history_store.h"
#include "package_file.h"
#include "port_details.h"
#include "run_recording.h"
#include "port_texts.h"
#include "settings_store.h"
#include "target_session.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

// NewPackage: the package file the command writes.
enum class Needs { Nothing, Package, PackageAndItem, NewPackage };

using ItemCommand = CommandOutcome (UpdateOrchestrator::*)();

struct TargetCommand {
    std::string_view name;
    std::string_view usage;
    Needs needs;
    bool takesSkipVerify;
    // --port, --bps and --json.
    bool takesPort;
    // The destination panel's button that the command presses, if any.
    ItemCommand itemCommand = nullptr;
};

constexpr std::array kTargetCommands{
    TargetCommand{"ports", kPortsUsage, Needs::Nothing, false, false},
    TargetCommand{"info", kInfoUsage, Needs::Nothing, false, true},
    TargetCommand{"update", kUpdateUsage, Needs::Package, true, true},
    TargetCommand{"program", kProgramUsage, Needs::PackageAndItem, true, true,
                  &UpdateOrchestrator::eraseAndProgram},
    TargetCommand{"erase", kEraseUsage, Needs::PackageAndItem, false, true, &UpdateOrchestrator::erase},
    TargetCommand{"check", kCheckUsage, Needs::PackageAndItem, false, true, &UpdateOrchestrator::updateInfo},
    TargetCommand{"backup", kBackupUsage, Needs::NewPackage, false, true},
};

// What the camera commands say last about a status other than success;
// the system's own texts of the failure came before it.
struct StatusSummary {
    int status;
    std::string_view text;
};

constexpr std::array kStatusSummaries{
    StatusSummary{kExitNotConnected, "tarnwick-cli: no connection to the camera"},
    StatusSummary{kExitPackageRefused, "tarnwick-cli: the package was refused"},
    StatusSummary{kExitJobFailed, "tarnwick-cli: not every job succeeded"},
};

std::string_view SummaryOf(int status) {
    for (const StatusSummary& summary : kStatusSummaries) {
        if (summary.status == status) {
            return summary.text;
        }
    }
    return {};
}

// Records the run and reports how the command ended; an interrupt that cut
// it short says so, whatever else failed.
int Concluded(const TargetSession& session, int status, std::string_view successText, CommandReport& report,
              const CommandRun& run) {
    const bool interrupted = session.interrupted() && status != kExitSuccess;
    const int concluded = interrupted ? session.interruptStatus() : status;
    RecordRun(run, session, concluded, report);
    if (interrupted) {
        report.outcome(concluded, session.interruptSummary(), session.lastRunJobs());
        return concluded;
    }
    report.outcome(status, status == kExitSuccess ? successText : SummaryOf(status), session.lastRunJobs());
    return status;
}

struct TargetArguments {
    std::string packagePath;
    std::string itemType;
    std::optional<PortArgument> port;
    std::optional<std::uint32_t> bps;
    bool skipVerify = false;
    bool json = false;
    BackupOptions backup;
};

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Reads one option at args[i], advancing i past its value; false when the
// argument is not one this command takes.
bool ParseOption(const TargetCommand& command, std::span<const std::string> args, std::size_t& i,
                 TargetArguments& parsed) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--port" && hasValue && command.takesPort) {
        parsed.port = ParsePort(args[++i]);
        return parsed.port.has_value();
    }
    if (arg == "--bps" && hasValue && command.takesPort) {
        parsed.bps = ParseNumber(args[++i]);
        return parsed.bps.has_value();
    }
    if (arg == "--json" && command.takesPort) {
        parsed.json = true;
        return true;
    }
    if (arg == "--item" && hasValue && command.needs == Needs::PackageAndItem) {
        parsed.itemType = args[++i];
        return true;
    }
    if (command.needs == Needs::NewPackage && ParseBackupOption(args, i, parsed.backup)) {
        return true;
    }
    if (arg == "--skip-verify" && command.takesSkipVerify) {
        parsed.skipVerify = true;
        return true;
    }
    if (!arg.starts_with("--") && command.needs != Needs::Nothing && parsed.packagePath.empty()) {
        parsed.packagePath = arg;
        return true;
    }
    return false;
}

std::optional<TargetArguments> ParseArguments(const TargetCommand& command, std::span<const std::string> args,
                                              std::ostream& err) {
    TargetArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!ParseOption(command, args, i, parsed)) {
            err << "usage: tarnwick-cli " << command.usage << '\n';
            return std::nullopt;
        }
    }
    const bool packageMissing = command.needs != Needs::Nothing && parsed.packagePath.empty();
    const bool itemMissing = command.needs == Needs::PackageAndItem && parsed.itemType.empty();
    if (packageMissing || itemMissing) {
        err << "usage: tarnwick-cli " << command.usage << '\n';
        return std::nullopt;
    }
    return parsed;
}

// The window keeps a stored rate of 0 and fails on it; a command line without
// --bps takes a rate the port accepts.
std::uint32_t DefaultBitRate(std::uint32_t storedRate) {
    return acceptsBitRate(storedRate) ? storedRate : kOfferedBitRates.back();
}

// The port and bit rate of the command line, else of the settings; nothing,
// after saying which flag is missing, when neither names a port.
std::optional<CommandSettings> ReadCommandSettings(const TargetArguments& arguments,
                                                   const TargetEnvironment& environment, std::ostream& err) {
    const Settings stored = SettingsStore(environment.settingsFile).load();
    CommandSettings settings{stored.comPort, arguments.bps.value_or(DefaultBitRate(stored.comBps)),
                             arguments.skipVerify};
    if (arguments.port) {
        settings.comPort = arguments.port->number.value_or(0);
        settings.comDevice = arguments.port->device;
    }
    if (settings.comPort == 0 && settings.comDevice.empty()) {
        err << "tarnwick-cli: no port in the settings; name one with --port N or --port DEVICE\n";
        return std::nullopt;
    }
    return settings;
}

bool ProgressInPlace(const TargetEnvironment& environment, const CliStreams& streams) {
    return environment.progressInPlace.value_or(streams.errIsTerminal);
}

// "ftdi_sio, USB 0403:6001 FTDI FT232R USB UART, serial A50285BI": what
// tells two adapters apart.
std::string DetailsText(const PortDetails& details) {
    std::string text = details.driver;
    const auto add = [&text](std::string_view part) {
        if (!part.empty()) {
            text += (text.empty() ? "" : ", ") + std::string(part);
        }
    };
    if (!details.usbId.empty()) {
        std::string usb = "USB " + details.usbId;
        for (const std::string& name : {details.manufacturer, details.product}) {
            usb += name.empty() ? "" : " " + name;
        }
        add(usb);
    }
    add(details.serialNumber.empty() ? "" : "serial " + details.serialNumber);
    return text;
}

int ListPorts(CliStreams streams) {
    std::vector<int> ports;
    if (!enumeratePorts(ports)) {
        streams.err << "tarnwick-cli: no serial ports found\n";
        return kExitFailure;
    }
    for (const int port : ports) {
        const std::string device = PortDeviceText(static_cast<std::uint32_t>(port));
        // The adapter's strings come from the device itself.
        streams.out << "COM" << port << '\t' << printable(device, streams.outIsTerminal) << '\t'
                    << printable(DetailsText(describePortDevice(device)), streams.outIsTerminal) << '\n';
    }
    return kExitSuccess;
}

int ShowInfo(TargetSession& session) {
    if (!session.connect()) {
        return kExitNotConnected;
    }
    session.disconnect();
    return kExitSuccess;
}

// The destination panel enables its buttons only for an item of the
// connected camera's family.
bool ItemSuitsCamera(const PackageItem& item, const TargetSession& session, CommandReport& report) {
    const TargetPlatform platform = session.target().flash.platform();
    if (item.platform == static_cast<std::uint32_t>(platform)) {
        return true;
    }
    report.note("tarnwick-cli: " + item.typeName + " is not for this camera (" + std::string(platformName(platform)) +
                ")");
    return false;
}

int RunOnItem(ItemCommand command, TargetSession& session, const PackageItem& item, CommandReport& report) {
    if (!session.connect()) {
        return kExitNotConnected;
    }
    int status = kExitPackageRefused;
    if (ItemSuitsCamera(item, session, report)) {
        status = session.runItemCommand(command);
        if (status == kExitSuccess || status == kExitJobFailed) {
            report.regionState(session.field(TargetField::BlankCheck), session.field(TargetField::Checksum1),
                               session.field(TargetField::Checksum2));
        }
    }
    session.disconnect();
    return status;
}

// The package and item the command names, read before the session starts,
// so that they outlive it; the status of the failure after telling why
// there are none. The item commands refuse what an update refuses, before
// the port is opened; update makes those checks itself, as the window's
// button does.
int OpenNamedPackage(const TargetCommand& command, const TargetArguments& arguments, std::optional<Package>& package,
                     PackageItem*& item, CommandReport& report) {
    if (command.needs == Needs::Nothing || command.needs == Needs::NewPackage) {
        return kExitSuccess;
    }
    ReportedMessages messages(report);
    const std::filesystem::path path(arguments.packagePath);
    package = OpenPackage(path.stem().string(), arguments.packagePath, messages);
    if (!package) {
        report.note("tarnwick-cli: " + UnreadablePackageText(path));
        return kExitFailure;
    }
    if (command.needs == Needs::Package) {
        return kExitSuccess;
    }
    if (!LoadPackageForUpdate(*package, messages)) {
        return kExitPackageRefused;
    }
    // Once connected, the command loads what it needs again.
    package->ReleaseAllData();
    item = package->FindItemByTypeName(arguments.itemType);
    if (item == nullptr) {
        report.note("tarnwick-cli: no item of type " + arguments.itemType + " in " + arguments.packagePath);
        return kExitFailure;
    }
    return kExitSuccess;
}

// What a successful update says: that it updated the camera, or, when it
// queued no job, why there was nothing to program.
std::string UpdatedText(const TargetSession& session, const Package& package) {
    if (!session.lastRunJobs().empty()) {
        return std::string(kCameraUpdatedText);
    }
    return NothingToProgramText(package, RunningBootVersion(session.target()));
}

std::unique_ptr<CommandReport> MakeReport(const TargetArguments& arguments, const TargetEnvironment& environment,
                                          CliStreams streams) {
    if (arguments.json) {
        return MakeJsonReport(streams.out);
    }
    return MakeTextReport(streams, ProgressInPlace(environment, streams));
}

}  // namespace

TargetEnvironment DefaultTargetEnvironment() {
    return TargetEnvironment{WorkerTimings{}, SettingsStore::DefaultFile(), std::nullopt, DefaultHistoryFile()};
}

std::optional<PortArgument> ParsePort(std::string_view text) {
    if (text.find('/') != std::string_view::npos) {
        return PortArgument{std::nullopt, std::filesystem::path(text)};
    }
    if (text.starts_with("COM")) {
        text.remove_prefix(3);
    }
    if (const std::optional<std::uint32_t> number = ParseNumber(text); number && *number > 0) {
        return PortArgument{number, {}};
    }
    return std::nullopt;
}

int RunTargetCommand(std::string_view name, std::span<const std::string> args, CliStreams streams,
                     const TargetEnvironment& environment) {
    const auto command =
        std::ranges::find_if(kTargetCommands, [&](const TargetCommand& candidate) { return candidate.name == name; });
    if (command == kTargetCommands.end()) {
        return kExitUsage;
    }
    const HistoryTime started = HistoryNow();
    const std::optional<TargetArguments> arguments = ParseArguments(*command, args, streams.err);
    if (!arguments) {
        return kExitUsage;
    }
    if (name == "ports") {
        return ListPorts(streams);
    }
    const std::optional<CommandSettings> settings = ReadCommandSettings(*arguments, environment, streams.err);
    if (!settings) {
        return kExitUsage;
    }
    const std::unique_ptr<CommandReport> report = MakeReport(*arguments, environment, streams);
    std::optional<Package> package;
    PackageItem* item = nullptr;
    if (const int status = OpenNamedPackage(*command, *arguments, package, item, *report); status != kExitSuccess) {
        report->outcome(status, SummaryOf(status), {});
        return status;
    }
    const CommandRun run{RunStart{"tarnwick-cli", std::string(name), *settings, started},
                         package ? &*package : nullptr, environment.historyFile};
    TargetSession session(*settings, environment.timings, *report);
    session.select(package ? &*package : nullptr, item);
    switch (command->needs) {
    case Needs::Nothing:
        return Concluded(session, ShowInfo(session), {}, *report, run);
    case Needs::Package: {
        const int status = session.update();
        return Concluded(session, status, UpdatedText(session, *package), *report, run);
    }
    case Needs::NewPackage:
        return RunBackup(session, arguments->packagePath, arguments->backup, *report);
    case Needs::PackageAndItem:
        break;
    }
    return Concluded(session, RunOnItem(command->itemCommand, session, *item, *report), {}, *report, run);
}

}  // namespace tarnwick
