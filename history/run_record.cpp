// SPDX-License-Identifier: GPL-2.0-or-later
#include "run_record.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace tarnwick {
namespace {

constexpr std::array kOutcomeNames{"succeeded", "failed", "cancelled"};

// The digits at [from, from + count) of the text as a number; nothing when
// one of them is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t index = from; index < from + count; ++index) {
        if (index >= text.size() || text[index] < '0' || text[index] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[index] - '0');
    }
    return value;
}

// "YYYY-MM-DD" followed, when the text goes on, by the separator, "HH:MM"
// and optionally ":SS"; the fields of a std::tm (month from 0). The time
// part may end in ".mmm" when fraction is given.
std::optional<std::tm> ParseFields(std::string_view text, char separator, int* fraction) {
    std::tm fields{};
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    fields.tm_year = *year - 1900;
    fields.tm_mon = *month - 1;
    fields.tm_mday = *day;
    std::size_t end = 10;
    if (text.size() > 10) {
        const auto hour = Digits(text, 11, 2);
        const auto minute = Digits(text, 14, 2);
        if (text[10] != separator || !hour || !minute || text.size() < 16 || text[13] != ':') {
            return std::nullopt;
        }
        fields.tm_hour = *hour;
        fields.tm_min = *minute;
        end = 16;
        if (text.size() > 16 && text[16] == ':') {
            const auto second = Digits(text, 17, 2);
            if (!second) {
                return std::nullopt;
            }
            fields.tm_sec = *second;
            end = 19;
        }
        if (fraction != nullptr && text.size() > end && text[end] == '.') {
            const auto milliseconds = Digits(text, end + 1, 3);
            if (!milliseconds) {
                return std::nullopt;
            }
            *fraction = *milliseconds;
            end += 4;
        }
    }
    const bool inRange = fields.tm_mon >= 0 && fields.tm_mon < 12 && fields.tm_mday >= 1 && fields.tm_mday <= 31 &&
                         fields.tm_hour < 24 && fields.tm_min < 60 && fields.tm_sec < 60;
    if (!inRange || end != text.size()) {
        return std::nullopt;
    }
    return fields;
}

// The fields name a day that exists (no 31 February) when converting them
// left them as they were.
bool SameDay(const std::tm& given, const std::tm& converted) {
    return given.tm_year == converted.tm_year && given.tm_mon == converted.tm_mon &&
           given.tm_mday == converted.tm_mday;
}

HistoryTime FromSeconds(std::time_t seconds, int milliseconds) {
    return HistoryTime(std::chrono::seconds(seconds)) + std::chrono::milliseconds(milliseconds);
}

std::time_t SecondsOf(HistoryTime time, int& milliseconds) {
    const auto since = time.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    milliseconds = static_cast<int>((since - seconds).count());
    return static_cast<std::time_t>(seconds.count());
}

}  // namespace

std::string_view OutcomeName(RunOutcome outcome) { return kOutcomeNames.at(static_cast<std::size_t>(outcome)); }

std::optional<RunOutcome> OutcomeNamed(std::string_view name) {
    for (std::size_t index = 0; index < kOutcomeNames.size(); ++index) {
        if (name == kOutcomeNames[index]) {
            return static_cast<RunOutcome>(index);
        }
    }
    return std::nullopt;
}

std::string OutcomeText(const RunRecord& run) {
    std::string text(OutcomeName(run.outcome));
    if (run.outcome == RunOutcome::Failed && run.exitStatus) {
        text += " (status " + std::to_string(*run.exitStatus) + ")";
    }
    return text;
}

std::string StoredTimeText(HistoryTime time) {
    int milliseconds = 0;
    const std::time_t seconds = SecondsOf(time, milliseconds);
    std::tm fields{};
    ::gmtime_r(&seconds, &fields);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &fields);
    std::array<char, 8> fraction{};
    std::snprintf(fraction.data(), fraction.size(), ".%03dZ", milliseconds % 1000);
    return std::string(text.data()) + fraction.data();
}

std::optional<HistoryTime> StoredTime(std::string_view text) {
    if (text.size() != 24 || text.back() != 'Z') {
        return std::nullopt;
    }
    int milliseconds = -1;
    std::optional<std::tm> fields = ParseFields(text.substr(0, 23), 'T', &milliseconds);
    if (!fields || milliseconds < 0) {
        return std::nullopt;
    }
    const std::tm given = *fields;
    const std::time_t seconds = ::timegm(&*fields);
    if (!SameDay(given, *fields)) {
        return std::nullopt;
    }
    return FromSeconds(seconds, milliseconds);
}

std::string LocalTimeText(HistoryTime time) {
    int milliseconds = 0;
    const std::time_t seconds = SecondsOf(time, milliseconds);
    std::tm fields{};
    ::localtime_r(&seconds, &fields);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &fields);
    return text.data();
}

std::optional<HistoryTime> LocalTime(std::string_view text) {
    const char separator = text.size() > 10 && text[10] == 'T' ? 'T' : ' ';
    std::optional<std::tm> fields = ParseFields(text, separator, nullptr);
    if (!fields) {
        return std::nullopt;
    }
    const std::tm given = *fields;
    fields->tm_isdst = -1;
    const std::time_t seconds = std::mktime(&*fields);
    if (seconds == -1 || !SameDay(given, *fields)) {
        return std::nullopt;
    }
    return FromSeconds(seconds, 0);
}

}  // namespace tarnwick
