// SPDX-License-Identifier: GPL-2.0-or-later
// inspect --list: the packages of a package list file as the program would
// load them at start-up, each shown as inspect shows a package file.
#include <algorithm>
#include <optional>
#include <string_view>

#include "commands.h"
#include "console_messages.h"
#include "package_store.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kListOption = "--list";
constexpr std::string_view kUsage = "usage: tarnwick-cli inspect --list LIST.xml";

// "--list FILE", in either order.
std::optional<std::string> ListFileArgument(std::span<const std::string> args) {
    std::optional<std::string> file;
    for (const std::string& arg : args) {
        if (arg == kListOption) {
            continue;
        }
        if (file || arg.empty() || arg.starts_with("--")) {
            return std::nullopt;
        }
        file = arg;
    }
    return args.size() == 2 ? file : std::nullopt;
}

std::string SourceText(const Package& package, bool toTerminal) {
    return package.isUserBuilt() ? "built from firmware files"
                                 : "package file " + printable(package.path(), toTerminal) +
                                       (package.fileUnreadable() ? std::string(kFileUnreadableMark) : "");
}

void PrintStore(const std::string& file, const PackageStore& store, std::ostream& out, bool toTerminal) {
    out << "Package list: " << printable(file, toTerminal) << '\n';
    out << "Packages: " << store.size() << '\n';
    for (std::size_t i = 0; i < store.size(); ++i) {
        out << '\n' << '[' << i + 1 << "] " << SourceText(store[i], toTerminal) << '\n';
        PrintPackageText(store[i], out, toTerminal);
    }
}

int RunInspectList(std::span<const std::string> args, CliStreams streams) {
    const auto file = ListFileArgument(args);
    if (!file) {
        streams.err << kUsage << '\n';
        return kExitUsage;
    }
    ConsoleMessages messages(streams.err);
    PackageStore store;
    switch (LoadPackageListFile(store, *file, messages)) {
        case PackageListLoad::Missing:
        case PackageListLoad::Unreadable:
            return kExitFailure;  // the store has said so
        case PackageListLoad::NotAPackageList:
            streams.err << printable(*file, streams.errIsTerminal) << ": not a package list\n";
            return kExitFailure;
        case PackageListLoad::Loaded:
        case PackageListLoad::Partial:
            break;
    }
    PrintStore(*file, store, streams.out, streams.outIsTerminal);
    return kExitSuccess;
}

}  // namespace

int RunInspectOrList(std::span<const std::string> args, CliStreams streams) {
    if (std::find(args.begin(), args.end(), kListOption) != args.end()) {
        return RunInspectList(args, streams);
    }
    return RunInspect(args, streams);
}

}  // namespace tarnwick
