#include "cli.h"

#include <array>
#include <string_view>

#include "commands.h"

namespace tarnwick {
namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(std::span<const std::string> args, CliStreams streams);
};

constexpr std::array kCommands{
    Command{"inspect", "inspect (PACKAGE.xml [--json] [--extract DIR] | --list LIST.xml)", RunInspectOrList},
    Command{"identify", "identify FIRMWARE-FILE", RunIdentify},
    Command{"ports", kPortsUsage, RunPorts},
    Command{"info", kInfoUsage, RunInfo},
    Command{"update", kUpdateUsage, RunUpdate},
    Command{"program", kProgramUsage, RunProgram},
    Command{"erase", kEraseUsage, RunErase},
    Command{"check", kCheckUsage, RunCheck},
};

void PrintUsage(std::ostream& stream) {
    stream << "usage:\n";
    for (const Command& command : kCommands) {
        stream << "  tarnwick-cli " << command.usage << '\n';
    }
}

}  // namespace

int RunCli(std::span<const std::string> args, CliStreams streams) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? streams.err : streams.out);
        return args.empty() ? kExitUsage : kExitSuccess;
    }
    for (const Command& command : kCommands) {
        if (args[0] == command.name) {
            return command.run(args.subspan(1), streams);
        }
    }
    streams.err << "tarnwick-cli: unknown command '" << args[0] << "'\n";
    PrintUsage(streams.err);
    return kExitUsage;
}

}  // namespace tarnwick
