// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "commands.h"
#include "target_commands.h"
#include "tarnwick_version.h"

namespace tarnwick {
namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
    // Nothing for the camera commands, which run by their name.
    int (*run)(std::span<const std::string> args, CliStreams streams) = nullptr;
};

constexpr std::array kCommands{
    Command{"inspect", "inspect (PACKAGE.xml [--json] [--extract DIR] | --list LIST.xml)",
            "Lists a package file, or a package list file, as the window reads it.", RunInspectOrList},
    Command{"identify", "identify FIRMWARE-FILE",
            "Shows the camera type and version the import derives from a raw firmware file.", RunIdentify},
    Command{"ports", kPortsUsage, "Lists the serial ports with their devices and adapters."},
    Command{"info", kInfoUsage, "Connects to the camera and shows its boot code version and flash chip."},
    Command{"update", kUpdateUsage, "Programs every image of the package into the camera."},
    Command{"program", kProgramUsage, "Erases and programs the region of one item."},
    Command{"erase", kEraseUsage, "Erases the region of one item."},
    Command{"check", kCheckUsage, "Shows the checksums and the blank state of one item's region."},
    Command{"station", kStationUsage,
            "Updates camera after camera on every port at once, until Ctrl+C: waits for each\n"
            "camera's reset, updates it, reports it with a tally, and waits for the next.\n\n"
            "  --all-ports      every serial port there is, and each one plugged in later"},
    Command{"backup", kBackupUsage,
            "Reads the camera's images into a package file that update restores.\n\n"
            "  --item TYPENAME  only this image type; repeat it for more\n"
            "  --whole          each region whole, up to its length word\n"
            "  --force          replace OUT.xml if it exists"},
    Command{"history", kHistoryUsage,
            "Lists the recorded runs, newest first, or shows one with its jobs. DATE is local:\n"
            "YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS]; --camera matches part of the boot code text,\n"
            "flash chip, family or adapter serial; --failed lists runs that did not succeed.",
            RunHistory},
};

// What every camera command's help adds about the options they share.
constexpr std::string_view kTargetOptionsHelp =
    "  --port N|DEVICE  the port's number (COM<N>) or its device path;\n"
    "                   default: the port of the settings file; update,\n"
    "                   program, backup and station take it more than once\n"
    "                   and work on every port's camera at the same time\n"
    "                   (backup then writes OUT-<port>.xml for each)\n"
    "  --bps B          the bit rate; default: the settings' rate when the port\n"
    "                   takes it, else 115200\n"
    "  --json           one JSON object per line on standard output\n";

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

void PrintUsage(std::ostream& stream) {
    stream << "usage:\n";
    for (const Command& command : kCommands) {
        stream << "  tarnwick-cli " << command.usage << '\n';
    }
    stream << "  tarnwick-cli --version | --help\n"
           << "  tarnwick-cli COMMAND --help\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
    out << "usage: tarnwick-cli " << command.usage << "\n\n" << command.summary << '\n';
    // The camera commands that take a port.
    if (command.run == nullptr && command.usage.find("--port") != std::string_view::npos) {
        out << '\n' << kTargetOptionsHelp;
    }
}

int RunCommand(std::span<const std::string> args, CliStreams streams) {
    if (args.empty() || IsHelp(args[0])) {
        PrintUsage(args.empty() ? streams.err : streams.out);
        return args.empty() ? kExitUsage : kExitSuccess;
    }
    if (args[0] == "--version") {
        streams.out << "tarnwick-cli " << kProductVersion << '\n';
        return kExitSuccess;
    }
    for (const Command& command : kCommands) {
        if (args[0] == command.name) {
            const std::span<const std::string> rest = args.subspan(1);
            if (std::ranges::any_of(rest, IsHelp)) {
                PrintCommandHelp(command, streams.out);
                return kExitSuccess;
            }
            return command.run ? command.run(rest, streams)
                               : RunTargetCommand(command.name, rest, streams, DefaultTargetEnvironment());
        }
    }
    streams.err << "tarnwick-cli: unknown command '" << args[0] << "'\n";
    PrintUsage(streams.err);
    return kExitUsage;
}

}  // namespace

int RunCli(std::span<const std::string> args, CliStreams streams) {
    const int status = RunCommand(args, streams);
    streams.out.flush();
    streams.err.flush();
    const bool outputLost = !streams.out || !streams.err;
    return outputLost && status == kExitSuccess ? kExitOutputLost : status;
}

}  // namespace tarnwick
