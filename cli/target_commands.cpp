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
#include "interrupt_catcher.h"
#include "package_file.h"
#include "port_details.h"
#include "port_lanes.h"
#include "port_watch.h"
#include "run_recording.h"
#include "port_texts.h"
#include "settings_store.h"
#include "station.h"
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
    // --port more than once: a camera on each port at the same time.
    bool takesPorts;
    // The destination panel's button that the command presses, if any.
    ItemCommand itemCommand = nullptr;
};

constexpr std::array kTargetCommands{
    TargetCommand{"ports", kPortsUsage, Needs::Nothing, false, false, false},
    TargetCommand{"info", kInfoUsage, Needs::Nothing, false, true, false},
    TargetCommand{"update", kUpdateUsage, Needs::Package, true, true, true},
    TargetCommand{"program", kProgramUsage, Needs::PackageAndItem, true, true, true,
                  &UpdateOrchestrator::eraseAndProgram},
    TargetCommand{"erase", kEraseUsage, Needs::PackageAndItem, false, true, false, &UpdateOrchestrator::erase},
    TargetCommand{"check", kCheckUsage, Needs::PackageAndItem, false, true, false, &UpdateOrchestrator::updateInfo},
    TargetCommand{"station", kStationUsage, Needs::Package, true, true, true},
    TargetCommand{"backup", kBackupUsage, Needs::NewPackage, false, true, true},
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
    // In the order named; none: the settings' port.
    std::vector<PortArgument> ports;
    std::optional<std::uint32_t> bps;
    bool skipVerify = false;
    bool json = false;
    // station: every serial port, and those that appear while it runs.
    bool allPorts = false;
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
    if (arg == "--port" && hasValue && command.takesPort && (parsed.ports.empty() || command.takesPorts)) {
        const std::optional<PortArgument> port = ParsePort(args[++i]);
        if (port) {
            parsed.ports.push_back(*port);
        }
        return port.has_value();
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
    if (arg == "--all-ports" && command.name == "station") {
        parsed.allPorts = true;
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
    // The station serves the ports it is told of, or all of them.
    const bool portsWrong = command.name == "station" && parsed.ports.empty() == !parsed.allPorts;
    if (packageMissing || itemMissing || portsWrong) {
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
                                                   const std::optional<PortArgument>& port,
                                                   const TargetEnvironment& environment, std::ostream& err) {
    const Settings stored = SettingsStore(environment.settingsFile).load();
    CommandSettings settings{stored.comPort, arguments.bps.value_or(DefaultBitRate(stored.comBps)),
                             arguments.skipVerify};
    if (port) {
        settings.comPort = port->number.value_or(0);
        settings.comDevice = port->device;
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
// the port is opened, and keep every image loaded for their session; update
// makes those checks itself, as the window's button does, unless the caller
// shares the data among several cameras (shared).
int OpenNamedPackage(const TargetCommand& command, const TargetArguments& arguments, std::optional<Package>& package,
                     PackageItem*& item, CommandReport& report, bool shared) {
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
    if (command.needs == Needs::Package && !shared) {
        return kExitSuccess;
    }
    if (!LoadPackageForUpdate(*package, messages)) {
        return kExitPackageRefused;
    }
    // The images stay loaded: the sessions take them from here instead of
    // reading the file again.
    if (command.needs == Needs::Package) {
        return kExitSuccess;
    }
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

// What every camera of the command shares.
struct CommandContext {
    const TargetCommand& command;
    const TargetArguments& arguments;
    const TargetEnvironment& environment;
    HistoryTime started;
    const InterruptCatcher& interrupts;
    // More than one port is named.
    bool severalPorts = false;
};

// Where the backup of the camera on that port goes: with several ports,
// each its own file, the port's name before the extension
// ("before.xml" on COM3: "before-COM3.xml"; on /dev/ttyUSB0: "before-ttyUSB0.xml").
std::filesystem::path BackupFile(const CommandContext& context, const CommandSettings& settings) {
    std::filesystem::path file(context.arguments.packagePath);
    if (!context.severalPorts) {
        return file;
    }
    const std::string port =
        settings.comDevice.empty() ? "COM" + std::to_string(settings.comPort) : settings.comDevice.filename().string();
    return file.replace_filename(file.stem().string() + "-" + port + file.extension().string());
}

// The table's word for how a camera ended.
std::string OutcomeWord(int status) {
    if (status == kExitSuccess) {
        return "succeeded";
    }
    if (status > kExitSignalled) {
        return "cancelled";
    }
    const std::string_view summary = SummaryOf(status);
    return summary.empty() ? "failed" : std::string(summary.substr(summary.find(": ") + 2));
}

// One camera's share of the command, from its session's start to its
// recorded outcome. sharedData: the package's images are loaded and shared
// with other cameras.
LaneEnding RunOnCamera(const CommandContext& context, const CommandSettings& settings, Package* package,
                       PackageItem* item, bool sharedData, CommandReport& report) {
    const CommandRun run{RunStart{"tarnwick-cli", std::string(context.command.name), settings, context.started},
                         package, context.environment.historyFile};
    TargetSession session(settings, context.environment.timings, report, context.interrupts);
    session.select(package, item);
    if (sharedData) {
        session.useCallersData();
    }
    int status = kExitFailure;
    switch (context.command.needs) {
    case Needs::Nothing:
        status = Concluded(session, ShowInfo(session), {}, report, run);
        break;
    case Needs::Package:
        status = session.update();
        status = Concluded(session, status, UpdatedText(session, *package), report, run);
        break;
    case Needs::NewPackage:
        status = RunBackup(session, BackupFile(context, settings), context.arguments.backup, run, report);
        break;
    case Needs::PackageAndItem:
        status = Concluded(session, RunOnItem(context.command.itemCommand, session, *item, report), {}, report, run);
        break;
    }
    return LaneEnding{status, session.target().versionText, OutcomeWord(status)};
}

// The device a port argument reaches, as a path that another name of the
// same device also resolves to; the argument's own text when it reaches none.
std::string PortIdentity(const PortArgument& port) {
    const std::string device = port.number ? PortDeviceText(*port.number) : port.device.string();
    if (device.empty()) {
        return "COM" + std::to_string(*port.number);
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(device, error);
    return error ? device : resolved.string();
}

std::string PortName(const PortArgument& port) {
    return port.number ? "COM" + std::to_string(*port.number) : port.device.string();
}

// The lanes of the ports named; nothing, after saying which, when two of
// them reach the same device.
std::optional<std::vector<Lane>> PortLanes(const TargetCommand& command, std::span<const PortArgument> ports,
                                           std::ostream& err) {
    std::vector<Lane> lanes;
    for (const PortArgument& port : ports) {
        Lane lane{PortName(port), PortIdentity(port)};
        const auto same = std::ranges::find(lanes, lane.device, &Lane::device);
        if (same != lanes.end()) {
            err << "tarnwick-cli: " << lane.port << " and " << same->port << " are the same port (" << lane.device
                << ")\nusage: tarnwick-cli " << command.usage << '\n';
            return std::nullopt;
        }
        lanes.push_back(std::move(lane));
    }
    return lanes;
}

// Waits on the port for a camera, updates it and reports and records how
// that went.
ServedCamera ServeStationCamera(const CommandContext& context, const CommandSettings& settings,
                                const Package& package, CommandReport& report) {
    // The copy shares the images; its session releases only its hold.
    Package own = package;
    CommandRun run{RunStart{"station", "update", settings, {}}, &own, context.environment.historyFile};
    TargetSession session(settings, context.environment.timings, report, context.interrupts);
    session.select(&own, nullptr);
    session.useCallersData();
    const int status = session.update();
    if (session.portRefused()) {
        return ServedCamera{ServedCamera::Kind::PortGone, kExitNotConnected, {}};
    }
    if (!session.cameraAnswered()) {
        return ServedCamera{};
    }
    // The camera's run starts when it answers, not when the station began to wait.
    run.start.started = std::chrono::time_point_cast<std::chrono::milliseconds>(session.answeredAt());
    return ServedCamera{ServedCamera::Kind::Served, Concluded(session, status, UpdatedText(session, own), report, run),
                        session.target().versionText};
}

// The station on every serial port there is, and on each one plugged in
// while it runs, until an interrupt; a port that goes away ends its lane.
int RunStationOnAllPorts(const CommandContext& context, CliStreams streams) {
    const TargetArguments& arguments = context.arguments;
    const std::unique_ptr<CommandReport> report = MakeReport(arguments, context.environment, streams);
    std::optional<Package> package;
    PackageItem* item = nullptr;
    if (const int status = OpenNamedPackage(context.command, arguments, package, item, *report, true);
        status != kExitSuccess) {
        report->outcome(status, SummaryOf(status), {});
        return status;
    }
    PortWatch watch;
    if (!watch.failure().empty()) {
        report->note("tarnwick-cli: " + watch.failure());
    }
    StationTally tally;
    LaneRunner runner(streams, arguments.json, ProgressInPlace(context.environment, streams));
    const auto serve = [&](const std::string& name) {
        const std::optional<PortArgument> port = ParsePort(name);
        if (!port) {
            return;
        }
        Lane lane{PortName(*port), PortIdentity(*port)};
        if (runner.running(lane.device)) {
            return;
        }
        const CommandSettings settings = *ReadCommandSettings(arguments, port, context.environment, streams.err);
        const auto serveCamera = [&context, &package, settings](std::size_t, CommandReport& laneReport) {
            return ServeStationCamera(context, settings, *package, laneReport);
        };
        runner.start(lane, StationLane(tally, serveCamera, context.interrupts, true));
    };
    for (const std::string& port : watch.present()) {
        serve(port);
    }
    // Looks for Ctrl+C between device events.
    constexpr std::chrono::milliseconds kInterruptPoll{200};
    while (context.interrupts.count() == 0) {
        if (const std::optional<std::string> added = watch.nextAdded(kInterruptPoll)) {
            serve(*added);
        }
    }
    return runner.finish();
}

// Every camera at once, each on its own port; the package's images are read
// once and shared by the sessions, which only read them.
int RunOnPorts(const CommandContext& context, std::span<const Lane> lanes, CliStreams streams) {
    const TargetArguments& arguments = context.arguments;
    std::vector<CommandSettings> settings;
    for (const PortArgument& port : arguments.ports) {
        settings.push_back(*ReadCommandSettings(arguments, port, context.environment, streams.err));
    }
    std::optional<Package> package;
    PackageItem* item = nullptr;
    {
        const std::unique_ptr<CommandReport> report = MakeReport(arguments, context.environment, streams);
        if (const int status = OpenNamedPackage(context.command, arguments, package, item, *report, true);
            status != kExitSuccess) {
            report->outcome(status, SummaryOf(status), {});
            return status;
        }
    }
    if (context.command.name == "station") {
        const auto serve = [&](std::size_t lane, CommandReport& report) {
            return ServeStationCamera(context, settings[lane], *package, report);
        };
        return RunStation(lanes, serve, context.interrupts, streams, arguments.json,
                          ProgressInPlace(context.environment, streams));
    }
    const std::optional<std::size_t> itemIndex =
        item != nullptr ? std::optional(static_cast<std::size_t>(item - package->items().data())) : std::nullopt;
    const auto work = [&](std::size_t lane, CommandReport& report) {
        if (!package) {
            return RunOnCamera(context, settings[lane], nullptr, nullptr, false, report);
        }
        // The copy shares the images; its session releases only its hold.
        Package own = *package;
        PackageItem* ownItem = itemIndex ? &own.items()[*itemIndex] : nullptr;
        return RunOnCamera(context, settings[lane], &own, ownItem, true, report);
    };
    return RunLanes(lanes, work, streams, arguments.json, ProgressInPlace(context.environment, streams));
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
    // Caught before any port is opened, and shared by every camera's session.
    const InterruptCatcher interrupts;
    const CommandContext context{*command, *arguments, environment, started, interrupts, arguments->ports.size() > 1};
    if (arguments->allPorts) {
        return RunStationOnAllPorts(context, streams);
    }
    if (arguments->ports.size() > 1 || name == "station") {
        const std::optional<std::vector<Lane>> lanes = PortLanes(*command, arguments->ports, streams.err);
        return lanes ? RunOnPorts(context, *lanes, streams) : kExitUsage;
    }
    const std::optional<PortArgument> port =
        arguments->ports.empty() ? std::nullopt : std::optional(arguments->ports.front());
    const std::optional<CommandSettings> settings = ReadCommandSettings(*arguments, port, environment, streams.err);
    if (!settings) {
        return kExitUsage;
    }
    const std::unique_ptr<CommandReport> report = MakeReport(*arguments, environment, streams);
    std::optional<Package> package;
    PackageItem* item = nullptr;
    if (const int status = OpenNamedPackage(*command, *arguments, package, item, *report, false);
        status != kExitSuccess) {
        report->outcome(status, SummaryOf(status), {});
        return status;
    }
    const bool loaded = command->needs == Needs::PackageAndItem;
    return RunOnCamera(context, *settings, package ? &*package : nullptr, item, loaded, *report).status;
}

}  // namespace tarnwick
