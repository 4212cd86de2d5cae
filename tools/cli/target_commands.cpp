// The commands that work on a camera. Each parses its arguments, reads the
// package where it needs one, and leaves the rest to a TargetSession.
#include "target_commands.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "commands.h"
#include "console_messages.h"
#include "package_file.h"
#include "settings_store.h"
#include "target_session.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

enum class Needs { Nothing, Package, PackageAndItem };

using ItemCommand = CommandOutcome (UpdateOrchestrator::*)();

struct TargetCommand {
    std::string_view name;
    std::string_view usage;
    Needs needs;
    bool takesSkipVerify;
    // The destination panel's button that the command presses, if any.
    ItemCommand itemCommand = nullptr;
};

constexpr std::array kTargetCommands{
    TargetCommand{"ports", kPortsUsage, Needs::Nothing, false},
    TargetCommand{"info", kInfoUsage, Needs::Nothing, false},
    TargetCommand{"update", kUpdateUsage, Needs::Package, true},
    TargetCommand{"program", kProgramUsage, Needs::PackageAndItem, true, &UpdateOrchestrator::eraseAndProgram},
    TargetCommand{"erase", kEraseUsage, Needs::PackageAndItem, false, &UpdateOrchestrator::erase},
    TargetCommand{"check", kCheckUsage, Needs::PackageAndItem, false, &UpdateOrchestrator::updateInfo},
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

int Summarised(int status, std::ostream& err) {
    for (const StatusSummary& summary : kStatusSummaries) {
        if (summary.status == status) {
            err << summary.text << '\n';
        }
    }
    return status;
}

// An interrupt that cut the command short says so, whatever else failed.
int Concluded(const TargetSession& session, int status, std::ostream& err) {
    if (session.interrupted() && status != kExitSuccess) {
        err << session.interruptSummary() << '\n';
        return kExitCancelled;
    }
    return Summarised(status, err);
}

int UpdateCamera(TargetSession& session, std::ostream& out) {
    const int status = session.update();
    if (status == kExitSuccess) {
        out << "Camera updated.\n";
    }
    return status;
}

struct TargetArguments {
    std::string packagePath;
    std::string itemType;
    std::optional<std::uint32_t> port;
    std::optional<std::uint32_t> bps;
    bool skipVerify = false;
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
    if ((arg == "--port" || arg == "--bps") && hasValue) {
        const std::optional<std::uint32_t> number = ParseNumber(args[++i]);
        (arg == "--port" ? parsed.port : parsed.bps) = number;
        return number.has_value();
    }
    if (arg == "--item" && hasValue && command.needs == Needs::PackageAndItem) {
        parsed.itemType = args[++i];
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

CommandSettings ReadCommandSettings(const TargetArguments& arguments, const TargetEnvironment& environment) {
    const Settings stored = SettingsStore(environment.settingsFile).load();
    return CommandSettings{arguments.port.value_or(stored.comPort), arguments.bps.value_or(stored.comBps),
                           arguments.skipVerify};
}

bool ProgressInPlace(const TargetEnvironment& environment, const CliStreams& streams) {
    return environment.progressInPlace.value_or(streams.errIsTerminal);
}

int ListPorts(CliStreams streams) {
    std::vector<int> ports;
    if (!enumeratePorts(ports)) {
        streams.err << "tarnwick-cli: no serial ports found\n";
        return kExitFailure;
    }
    for (const int port : ports) {
        streams.out << "COM" << port << '\t'
                    << printable(PortDeviceText(static_cast<std::uint32_t>(port)), streams.outIsTerminal) << '\n';
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
bool ItemSuitsCamera(const PackageItem& item, const TargetSession& session, std::ostream& err) {
    const TargetPlatform platform = session.target().flash.platform();
    if (item.platform == static_cast<std::uint32_t>(platform)) {
        return true;
    }
    err << "tarnwick-cli: " << item.typeName << " is not for this camera (" << platformName(platform) << ")\n";
    return false;
}

void PrintRegionState(const TargetSession& session, std::ostream& out) {
    out << "Blank check: " << session.field(TargetField::BlankCheck) << '\n'
        << "Checksum:    " << session.field(TargetField::Checksum1) << ' ' << session.field(TargetField::Checksum2)
        << '\n';
}

int RunOnItem(ItemCommand command, TargetSession& session, const PackageItem& item, CliStreams streams) {
    if (!session.connect()) {
        return kExitNotConnected;
    }
    int status = kExitPackageRefused;
    if (ItemSuitsCamera(item, session, streams.err)) {
        status = session.runItemCommand(command);
        if (status == kExitSuccess || status == kExitJobFailed) {
            PrintRegionState(session, streams.out);
        }
    }
    session.disconnect();
    return status;
}

// The package and item the command names, read before the session starts,
// so that they outlive it; false after telling why there are none.
bool OpenNamedPackage(const TargetCommand& command, const TargetArguments& arguments,
                      std::optional<Package>& package, PackageItem*& item, CliStreams streams) {
    if (command.needs == Needs::Nothing) {
        return true;
    }
    std::ostream& err = streams.err;
    ConsoleMessages messages(err, streams.errIsTerminal);
    const std::filesystem::path path(arguments.packagePath);
    package = OpenPackage(path.stem().string(), arguments.packagePath, messages);
    if (!package) {
        err << UnreadablePackageText(path) << '\n';
        return false;
    }
    if (command.needs == Needs::PackageAndItem) {
        item = package->FindItemByTypeName(arguments.itemType);
        if (item == nullptr) {
            err << "tarnwick-cli: no item of type " << arguments.itemType << " in " << arguments.packagePath << '\n';
            return false;
        }
    }
    return true;
}

}  // namespace

TargetEnvironment DefaultTargetEnvironment() {
    return TargetEnvironment{WorkerTimings{}, SettingsStore::DefaultFile(), std::nullopt};
}

int RunTargetCommand(std::string_view name, std::span<const std::string> args, CliStreams streams,
                     const TargetEnvironment& environment) {
    const auto command =
        std::ranges::find_if(kTargetCommands, [&](const TargetCommand& candidate) { return candidate.name == name; });
    if (command == kTargetCommands.end()) {
        return kExitUsage;
    }
    const std::optional<TargetArguments> arguments = ParseArguments(*command, args, streams.err);
    if (!arguments) {
        return kExitUsage;
    }
    if (name == "ports") {
        return ListPorts(streams);
    }
    std::optional<Package> package;
    PackageItem* item = nullptr;
    if (!OpenNamedPackage(*command, *arguments, package, item, streams)) {
        return kExitFailure;
    }
    TargetSession session(ReadCommandSettings(*arguments, environment), environment.timings, streams,
                          ProgressInPlace(environment, streams));
    session.select(package ? &*package : nullptr, item);
    switch (command->needs) {
    case Needs::Nothing:
        return Concluded(session, ShowInfo(session), streams.err);
    case Needs::Package:
        return Concluded(session, UpdateCamera(session, streams.out), streams.err);
    case Needs::PackageAndItem:
        break;
    }
    return Concluded(session, RunOnItem(command->itemCommand, session, *item, streams), streams.err);
}

int RunPorts(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("ports", args, streams, DefaultTargetEnvironment());
}

int RunInfo(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("info", args, streams, DefaultTargetEnvironment());
}

int RunUpdate(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("update", args, streams, DefaultTargetEnvironment());
}

int RunProgram(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("program", args, streams, DefaultTargetEnvironment());
}

int RunErase(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("erase", args, streams, DefaultTargetEnvironment());
}

int RunCheck(std::span<const std::string> args, CliStreams streams) {
    return RunTargetCommand("check", args, streams, DefaultTargetEnvironment());
}

}  // namespace tarnwick
