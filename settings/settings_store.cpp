// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings_store.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "ascii_case.h"
#include "config_folder.h"
#include "file_io.h"
#include "hex_digit.h"

namespace tarnwick {
namespace {

// Value types with the registry's numbers, which the hex(N): form shows.
enum ValueType : std::uint32_t {
    kTextType = 1,
    kExpandableTextType = 2,
    kBinaryType = 3,
    kNumberType = 4,
};

// A text is taken only when it fits a 1024-byte buffer with its zero.
constexpr std::size_t kTextBufferBytes = 1024;
constexpr std::size_t kNumberBytes = 4;
constexpr std::uintmax_t kMaxFileBytes = 1024 * 1024;
constexpr std::string_view kHeader = "; Tarnwick settings\n[Settings]\n";
constexpr std::string_view kHexDigits = "0123456789abcdef";
// Editors on other systems start a UTF-8 file with one.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

struct StoredValue {
    std::string name;
    std::uint32_t type = kBinaryType;
    std::vector<std::uint8_t> data;
};

using ValueList = std::vector<StoredValue>;

const StoredValue* Find(const ValueList& values, std::string_view name) {
    const auto found =
        std::find_if(values.begin(), values.end(), [&](const StoredValue& v) { return EqualIgnoringCase(v.name, name); });
    return found == values.end() ? nullptr : &*found;
}

void Put(ValueList& values, std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    const auto found =
        std::find_if(values.begin(), values.end(), [&](const StoredValue& v) { return EqualIgnoringCase(v.name, name); });
    if (found != values.end()) {
        found->type = type;
        found->data = std::move(data);
    } else {
        values.push_back({std::string(name), type, std::move(data)});
    }
}

void PutNumber(ValueList& values, std::string_view name, std::uint32_t number) {
    Put(values, name, kNumberType,
        {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
         static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

void PutText(ValueList& values, std::string_view name, std::string_view text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    Put(values, name, kTextType, std::move(data));
}

bool IsNumber(const StoredValue& value) { return value.type == kNumberType && value.data.size() == kNumberBytes; }

// Numbers are stored little-endian, as the registry keeps them.
std::uint32_t DecodeNumber(std::span<const std::uint8_t> d) {
    return std::uint32_t{d[0]} | std::uint32_t{d[1]} << 8 | std::uint32_t{d[2]} << 16 | std::uint32_t{d[3]} << 24;
}

std::uint32_t NumberOr(const ValueList& values, std::string_view name, std::uint32_t fallback) {
    const StoredValue* value = Find(values, name);
    return value != nullptr && IsNumber(*value) ? DecodeNumber(value->data) : fallback;
}

std::string TextOr(const ValueList& values, std::string_view name, std::string_view fallback) {
    const StoredValue* value = Find(values, name);
    if (value == nullptr || (value->type != kTextType && value->type != kExpandableTextType) ||
        value->data.empty() || value->data.size() > kTextBufferBytes || value->data.back() != 0) {
        return std::string(fallback);
    }
    const auto end = std::find(value->data.begin(), value->data.end(), std::uint8_t{0});
    return std::string(value->data.begin(), end);
}

// --- The file's syntax -----------------------------------------------------

// Reads a quoted text with \\ and \" escapes from the start of `line`;
// `line` is left after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view& line) {
    if (line.empty() || line.front() != '"') {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return text;
        }
        if (c == '\\') {
            if (i + 1 == line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) {
                return std::nullopt;
            }
            ++i;
        }
        text += line[i];
    }
    return std::nullopt;
}

// One to eight hexadecimal digits and nothing else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (char c : text) {
        const auto digit = HexDigitValue(c);
        if (!digit) {
            return std::nullopt;
        }
        number = number << 4 | *digit;
    }
    return number;
}

// "xx,xx,..." (possibly empty).
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    if (text.empty()) {
        return bytes;
    }
    while (true) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const auto byte = comma <= 2 ? ParseHexNumber(text.substr(0, comma)) : std::nullopt;
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == text.size()) {
            return bytes;
        }
        text.remove_prefix(comma + 1);
    }
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<StoredValue> ParseData(std::string name, std::string_view data) {
    if (data.starts_with("dword:")) {
        const auto number = ParseHexNumber(data.substr(6));
        if (!number) {
            return std::nullopt;
        }
        ValueList single;
        PutNumber(single, name, *number);
        return single.front();
    }
    if (data.starts_with("\"")) {
        const auto text = ReadQuoted(data);
        if (!text || !Trim(data).empty()) {
            return std::nullopt;
        }
        ValueList single;
        PutText(single, name, *text);
        return single.front();
    }
    std::uint32_t type = kBinaryType;
    if (data.starts_with("hex(")) {
        const std::size_t close = data.find("):");
        const auto parsed = close == std::string_view::npos ? std::nullopt : ParseHexNumber(data.substr(4, close - 4));
        if (!parsed) {
            return std::nullopt;
        }
        type = *parsed;
        data.remove_prefix(close + 2);
    } else if (data.starts_with("hex:")) {
        data.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(Trim(data));
    if (!bytes) {
        return std::nullopt;
    }
    return StoredValue{std::move(name), type, std::move(*bytes)};
}

// nullopt for a damaged file: one line that is neither blank, a comment, a
// section header nor a value spoils it all, as a half-edited file should not
// be half believed.
std::optional<ValueList> ParseValues(std::string_view text) {
    if (text.starts_with(kUtf8ByteOrderMark)) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    ValueList values;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == ';' || (line.front() == '[' && line.back() == ']')) {
            continue;
        }
        auto name = ReadQuoted(line);
        line = Trim(line);
        if (!name || !line.starts_with("=")) {
            return std::nullopt;
        }
        auto value = ParseData(std::move(*name), Trim(line.substr(1)));
        if (!value) {
            return std::nullopt;
        }
        Put(values, value->name, value->type, std::move(value->data));
    }
    return values;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string HexBytes(const std::vector<std::uint8_t>& data) {
    std::string hex;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i != 0) {
            hex += ',';
        }
        hex += kHexDigits[data[i] >> 4];
        hex += kHexDigits[data[i] & 0x0F];
    }
    return hex;
}

// A text shows as a quoted text when that form gives back the same bytes.
bool HasPlainTextForm(const StoredValue& value) {
    const auto& d = value.data;
    return value.type == kTextType && !d.empty() && d.back() == 0 &&
           std::all_of(d.begin(), d.end() - 1, [](std::uint8_t b) { return b >= 0x20; });
}

std::string FormatData(const StoredValue& value) {
    if (IsNumber(value)) {
        const std::uint32_t number = DecodeNumber(value.data);
        std::string hex = "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) {
            hex += kHexDigits[(number >> shift) & 0x0F];
        }
        return hex;
    }
    if (HasPlainTextForm(value)) {
        return Quoted(std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
    }
    if (value.type == kBinaryType) {
        return "hex:" + HexBytes(value.data);
    }
    std::string type;
    for (std::uint32_t rest = value.type; type.empty() || rest != 0; rest >>= 4) {
        type.insert(type.begin(), kHexDigits[rest & 0x0F]);
    }
    return "hex(" + type + "):" + HexBytes(value.data);
}

std::string FormatValues(const ValueList& values) {
    std::string text(kHeader);
    for (const StoredValue& value : values) {
        text += Quoted(value.name) + "=" + FormatData(value) + "\n";
    }
    return text;
}

ValueList ReadValues(const std::filesystem::path& file) {
    if (file.empty()) {
        return {};
    }
    const auto contents = ReadTextFile(file, kMaxFileBytes);
    if (!contents.ok()) {
        return {};
    }
    auto values = ParseValues(contents.bytes);
    return values ? std::move(*values) : ValueList{};
}

template <typename Change>
std::error_code Update(const std::filesystem::path& file, Change change) {
    if (file.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (auto error = CreateFolders(file.parent_path())) {
        return error;
    }
    ValueList values = ReadValues(file);
    change(values);
    return ReplaceFile(file, FormatValues(values));
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file)) {
    if (!file_.empty()) {
        CreateFolders(file_.parent_path());
    }
}

std::filesystem::path SettingsStore::DefaultFile() {
    const std::filesystem::path folder = ConfigFolder();
    return folder.empty() ? folder : folder / kSettingsFileName;
}

Settings SettingsStore::load() const {
    const ValueList values = ReadValues(file_);
    const Settings defaults;
    Settings settings;
    settings.comPort = NumberOr(values, kComPortValue, defaults.comPort);
    settings.comBps = NumberOr(values, kComBpsValue, defaults.comBps);
    settings.savePackages = NumberOr(values, kSavePackagesValue, defaults.savePackages) != 0;
    settings.lastPackage = TextOr(values, kLastPackageValue, defaults.lastPackage);
    settings.expertMode = NumberOr(values, kExpertModeValue, defaults.expertMode) != 0;
    settings.skipVerify = NumberOr(values, kSkipVerifyValue, defaults.skipVerify) != 0;
    settings.programSelected = NumberOr(values, kProgramSelectedValue, defaults.programSelected) != 0;
    return settings;
}

std::error_code SettingsStore::save(const Settings& settings) const {
    return Update(file_, [&](ValueList& values) {
        PutNumber(values, kComPortValue, settings.comPort);
        PutNumber(values, kComBpsValue, settings.comBps);
        PutNumber(values, kSavePackagesValue, settings.savePackages ? 1 : 0);
        PutText(values, kLastPackageValue, settings.lastPackage);
        PutNumber(values, kExpertModeValue, settings.expertMode ? 1 : 0);
        PutNumber(values, kSkipVerifyValue, settings.skipVerify ? 1 : 0);
        PutNumber(values, kProgramSelectedValue, settings.programSelected ? 1 : 0);
    });
}

std::string SettingsStore::readText(std::string_view name, std::string_view defaultText) const {
    return TextOr(ReadValues(file_), name, defaultText);
}

std::string SettingsStore::configPath() const {
    std::string folder = readText(kConfigPathValue, "");
    if (folder.empty()) {
        folder = file_.parent_path().string();
    }
    return folder;
}

std::error_code SettingsStore::writeText(std::string_view name, std::string_view text) const {
    return Update(file_, [&](ValueList& values) { PutText(values, name, text); });
}

}  // namespace tarnwick
