// SPDX-License-Identifier: GPL-2.0-or-later
// inspect: lists a package file's name and items, optionally as JSON, and
// optionally extracts each item's image into a folder.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>

#include "catalogues.h"
#include "commands.h"
#include "console_messages.h"
#include "file_io.h"
#include "guid.h"
#include "package_file.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kUsage = "usage: tarnwick-cli inspect PACKAGE.xml [--json] [--extract DIR]";

struct InspectOptions {
    std::string packagePath;
    bool json = false;
    std::optional<std::string> extractFolder;
};

std::optional<InspectOptions> ParseOptions(std::span<const std::string> args, std::ostream& err) {
    InspectOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--extract" && i + 1 < args.size()) {
            options.extractFolder = args[++i];
        } else if (options.packagePath.empty() && !args[i].starts_with("--")) {
            options.packagePath = args[i];
        } else {
            err << kUsage << '\n';
            return std::nullopt;
        }
    }
    if (options.packagePath.empty()) {
        err << kUsage << '\n';
        return std::nullopt;
    }
    return options;
}

std::string CameraModelName(std::uint32_t cameraType) {
    const CameraModel* model = FindCameraModel(cameraType);
    return model == nullptr ? std::string() : std::string(model->name);
}

void PrintJson(const Package& package, std::ostream& out) {
    nlohmann::json items = nlohmann::json::array();
    for (const PackageItem& item : package.items()) {
        const std::string model = CameraModelName(item.cameraType);
        items.push_back({
            {"typeName", item.typeName},
            {"guid", FormatGuid(item.typeGuid)},
            {"fileName", item.fileName},
            {"cameraType", item.cameraType},
            {"cameraModel", model.empty() ? nlohmann::json(nullptr) : nlohmann::json(model)},
            {"version", FormatVersion(item.version)},
            {"size", item.fileSize},
            {"time", FormatFileTime(item.fileTime)},
        });
    }
    const nlohmann::json document{{"name", package.name()}, {"path", package.path()}, {"items", items}};
    // Replacement of invalid UTF-8 keeps names in the system's 8-bit code page printable.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

// A file name inside the folder: the packed file's own name when it is a
// plain, unused name, else one made from the item's position. A name from the
// package never leads out of the folder.
std::string ExtractName(const PackageItem& item, std::size_t number, std::set<std::string>& used) {
    const std::string_view stored = item.fileName;
    const std::size_t slash = stored.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? stored : stored.substr(slash + 1));
    if (name.empty() || name == "." || name == ".." || used.contains(name)) {
        name = "item" + std::to_string(number) + ".bin";
    }
    used.insert(name);
    return name;
}

std::string LoadErrorText(LoadResult result) {
    char text[64];
    std::snprintf(text, sizeof text, "Can't load package file... (Error: 0x%02X)", static_cast<unsigned>(result));
    return text;
}

// Where the names of extracted files go: standard output, or with --json the
// error stream, as standard output then carries the JSON document alone.
struct ExtractReport {
    std::ostream& stream;
    bool terminal;
};

// Loads, writes and releases one item, reporting to report; false (with the
// reason on err) when it fails.
bool ExtractItem(const Package& package, PackageItem& item, const std::string& target, ExtractReport report,
                 CliStreams streams, UserMessages& messages) {
    const std::string shownTarget = printable(target, streams.errIsTerminal);
    if (IsSameFile(target, package.path())) {
        streams.err << item.typeName << ": not written: " << shownTarget << " is the package file itself\n";
        return false;
    }
    try {
        const LoadResult result = LoadItemData(package, &item, messages);
        if (result != LoadResult::Loaded) {
            streams.err << item.typeName << ": " << LoadErrorText(result) << '\n';
            return false;
        }
    } catch (const PackageDataError& error) {
        streams.err << item.typeName << ": " << error.what() << '\n';
        return false;
    }
    const std::error_code error = ReplaceFile(target, item.data());
    const std::uint32_t length = item.dataLength();
    item.releaseData();
    if (error) {
        streams.err << item.typeName << ": can't write " << shownTarget << ": " << error.message() << '\n';
        return false;
    }
    report.stream << item.typeName << ": " << length << " bytes -> " << printable(target, report.terminal) << '\n';
    return true;
}

bool ExtractAll(Package& package, const std::string& folder, bool json, CliStreams streams,
                UserMessages& messages) {
    const ExtractReport report = json ? ExtractReport{streams.err, streams.errIsTerminal}
                                      : ExtractReport{streams.out, streams.outIsTerminal};
    std::set<std::string> used;
    bool allWritten = true;
    std::size_t number = 0;
    for (PackageItem& item : package.items()) {
        const std::string target = folder + "/" + ExtractName(item, ++number, used);
        allWritten = ExtractItem(package, item, target, report, streams, messages) && allWritten;
    }
    return allWritten;
}

}  // namespace

std::string CameraTypeText(std::uint32_t cameraType) {
    const std::string model = CameraModelName(cameraType);
    return std::to_string(cameraType) + (model.empty() ? "" : " (" + model + ")");
}

void PrintPackageText(const Package& package, std::ostream& out, bool toTerminal) {
    out << "Package: " << printable(package.name(), toTerminal) << '\n';
    out << "Items: " << package.itemCount() << '\n';
    std::size_t number = 0;
    for (const PackageItem& item : package.items()) {
        out << ++number << ". " << item.typeName << '\n';
        out << "   GUID:        " << FormatGuid(item.typeGuid) << '\n';
        out << "   File:        " << printable(item.fileName, toTerminal) << '\n';
        out << "   Camera type: " << CameraTypeText(item.cameraType) << '\n';
        out << "   Version:     " << FormatVersion(item.version) << '\n';
        out << "   Size:        " << item.fileSize << '\n';
        out << "   Time:        " << FormatFileTime(item.fileTime) << '\n';
    }
}

int RunInspect(std::span<const std::string> args, CliStreams streams) {
    const auto options = ParseOptions(args, streams.err);
    if (!options) {
        return kExitUsage;
    }
    ConsoleMessages messages(streams.err);
    auto package = OpenPackage("", options->packagePath, messages);
    if (!package) {
        streams.err << printable(UnreadablePackageText(options->packagePath), streams.errIsTerminal) << '\n';
        return kExitFailure;
    }
    if (options->json) {
        PrintJson(*package, streams.out);
    } else {
        PrintPackageText(*package, streams.out, streams.outIsTerminal);
    }
    if (options->extractFolder && !ExtractAll(*package, *options->extractFolder, options->json, streams, messages)) {
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace tarnwick
