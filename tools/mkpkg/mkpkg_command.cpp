// SPDX-License-Identifier: GPL-2.0-or-later
#include "mkpkg_command.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>

#include "catalogues.h"
#include "file_io.h"
#include "firmware_import.h"
#include "package_writer.h"
#include "tarnwick_version.h"

namespace tarnwick {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

constexpr std::string_view kUsageText =
    "usage: tarnwick-mkpkg OUTPUT.xml [--name NAME] [--time SECONDS]\n"
    "         --item TYPE FILE [--camera ID] [--item-version MAJOR.MINOR] [--file-time SECONDS] ...\n"
    "       tarnwick-mkpkg --version | --help\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ItemRequest {
    const ImageType* type = nullptr;
    std::string path;
    std::optional<std::uint32_t> cameraType;
    std::optional<std::uint32_t> version;
    std::optional<std::int64_t> fileTime;
};

struct Request {
    std::string output;
    std::string name;
    std::optional<std::int64_t> time;
    std::vector<ItemRequest> items;
};

const ImageType& ImageTypeNamed(const std::string& text) {
    if (const ImageType* type = FindImageTypeByName(text)) {
        return *type;
    }
    if (const auto guid = ParseGuid(text)) {
        if (const ImageType* type = FindImageType(*guid)) {
            return *type;
        }
    }
    throw UsageError("unknown image type '" + text + "'");
}

std::int64_t Number(const std::string& text) {
    std::size_t used = 0;
    try {
        const long long value = std::stoll(text, &used);
        if (used == text.size()) {
            return value;
        }
    } catch (const std::logic_error&) {
    }
    throw UsageError("not a number: '" + text + "'");
}

// A number of the command line that a field of the package file holds;
// anything outside [0, maximum] would be stored as another number.
std::uint32_t BoundedNumber(const std::string& text, std::uint32_t maximum, std::string_view what) {
    const std::int64_t value = Number(text);
    if (value < 0 || value > maximum) {
        throw UsageError(std::string(what) + " must be 0 to " + std::to_string(maximum) + ": '" + text + "'");
    }
    return static_cast<std::uint32_t>(value);
}

// "2.01" is major 2, minor 1; each part is one byte of the version.
std::uint32_t VersionNumber(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos) {
        throw UsageError("version must be MAJOR.MINOR: '" + text + "'");
    }
    constexpr std::uint32_t kPartMaximum = 0xFF;
    return MakeVersion(BoundedNumber(text.substr(0, dot), kPartMaximum, "a version's major number"),
                       BoundedNumber(text.substr(dot + 1), kPartMaximum, "a version's minor number"));
}

class ArgumentReader {
public:
    explicit ArgumentReader(std::span<const std::string> args) : args_(args) {}
    bool done() const { return next_ >= args_.size(); }
    const std::string& take() { return args_[next_++]; }
    const std::string& value(std::string_view option) {
        if (done()) {
            throw UsageError(std::string(option) + " needs a value");
        }
        return take();
    }

private:
    std::span<const std::string> args_;
    std::size_t next_ = 0;
};

ItemRequest& CurrentItem(Request& request, std::string_view option) {
    if (request.items.empty()) {
        throw UsageError(std::string(option) + " must follow --item");
    }
    return request.items.back();
}

Request ParseRequest(std::span<const std::string> args) {
    Request request;
    ArgumentReader reader(args);
    while (!reader.done()) {
        const std::string& arg = reader.take();
        if (arg == "--name") {
            request.name = reader.value(arg);
        } else if (arg == "--time") {
            request.time = Number(reader.value(arg));
        } else if (arg == "--item") {
            ItemRequest item;
            item.type = &ImageTypeNamed(reader.value(arg));
            item.path = reader.value(arg);
            request.items.push_back(std::move(item));
        } else if (arg == "--camera") {
            CurrentItem(request, arg).cameraType =
                BoundedNumber(reader.value(arg), std::numeric_limits<std::uint32_t>::max(), "a camera type");
        } else if (arg == "--item-version") {
            CurrentItem(request, arg).version = VersionNumber(reader.value(arg));
        } else if (arg == "--file-time") {
            CurrentItem(request, arg).fileTime = Number(reader.value(arg));
        } else if (request.output.empty() && !arg.starts_with("--")) {
            request.output = arg;
        } else {
            throw UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (request.output.empty() || request.items.empty()) {
        throw UsageError("an output file and at least one --item are needed");
    }
    return request;
}

std::int64_t ModificationTime(const std::string& path) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        throw std::runtime_error("can't read " + path + ": " + error.message());
    }
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The package is written only where none of its images is read from: the
// atomic replace would put the package in place of the firmware.
void CheckOutputIsNoInput(const Request& request) {
    for (const ItemRequest& item : request.items) {
        if (IsSameFile(request.output, item.path)) {
            throw std::runtime_error("not written: " + request.output + " is the image file of " +
                                     std::string(item.type->name));
        }
    }
}

PackedFile PackItem(const ItemRequest& request) {
    auto image = ReadBinaryFile(request.path);
    if (!image.ok()) {
        throw std::runtime_error("can't read " + request.path + ": " + image.error.message());
    }
    const FirmwareInfo derived = DeriveFirmwareInfo(request.path);
    PackedFile file;
    file.type = request.type->guid;
    file.fileName = std::filesystem::path(request.path).filename().string();
    file.cameraType = request.cameraType.value_or(derived.cameraType);
    file.version = request.version.value_or(derived.version);
    file.time = request.fileTime ? *request.fileTime : ModificationTime(request.path);
    file.image = std::move(image.bytes);
    return file;
}

}  // namespace

int RunMkpkg(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (std::ranges::find(args, "--help") != args.end()) {
        out << kUsageText;
        return kSuccess;
    }
    if (std::ranges::find(args, "--version") != args.end()) {
        out << "tarnwick-mkpkg " << kProductVersion << '\n';
        return kSuccess;
    }
    Request request;
    try {
        request = ParseRequest(args);
    } catch (const UsageError& error) {
        err << "tarnwick-mkpkg: " << error.what() << '\n' << kUsageText;
        return kUsage;
    }
    try {
        CheckOutputIsNoInput(request);
        PackageContents contents;
        contents.name = request.name;
        contents.time = request.time.value_or(Now());
        for (const ItemRequest& item : request.items) {
            contents.files.push_back(PackItem(item));
        }
        const std::string text = BuildPackageText(contents);
        // Whatever the reader or an update would refuse is refused here, for
        // the reader's own reason, before anything is written.
        if (const std::optional<std::string> refusal = ReadBackRefusal(text, contents.files)) {
            throw std::runtime_error(*refusal);
        }
        if (const std::error_code error = ReplaceFile(request.output, text)) {
            throw std::runtime_error("can't write " + request.output + ": " + error.message());
        }
        out << request.output << ": " << contents.files.size() << " item(s)\n";
    } catch (const std::exception& error) {
        err << "tarnwick-mkpkg: " << error.what() << '\n';
        return kFailure;
    }
    return kSuccess;
}

}  // namespace tarnwick
