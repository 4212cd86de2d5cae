// SPDX-License-Identifier: GPL-2.0-or-later
#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "system_error.h"
#include "unique_fd.h"

namespace tarnwick {
namespace {

constexpr mode_t kNewFileMode = 0644;
constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::string_view kTemporarySuffix = ".tmp-XXXXXX";
constexpr std::size_t kTemporaryLetters = kTemporarySuffix.size() - kTemporaryMark.size();

struct FaultState {
    std::atomic<bool> active{false};
    std::atomic<ReplaceStep> step{ReplaceStep::Create};
    std::atomic<int> errorNumber{0};
};

FaultState& Fault() {
    static FaultState state;
    return state;
}

std::optional<std::error_code> InjectedFault(ReplaceStep step) {
    FaultState& fault = Fault();
    if (fault.active && fault.step == step) {
        return SystemError(fault.errorNumber);
    }
    return std::nullopt;
}

template <typename Bytes>
FileContents<Bytes> ReadWhole(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    FileContents<Bytes> result;
    // Non-blocking open so that a FIFO cannot stall us before the type check.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        result.error = LastSystemError();
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        result.error = LastSystemError();
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = SystemError(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        return result;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        result.error = SystemError(EFBIG);
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < result.bytes.size()) {
        const ssize_t got = ::read(fd.get(), result.bytes.data() + done, result.bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result.bytes = Bytes{};
            result.error = LastSystemError();
            return result;
        }
        if (got == 0) {
            break;  // the file shrank while we read it: keep what is there
        }
        done += static_cast<std::size_t>(got);
    }
    result.bytes.resize(done);
    return result;
}

std::error_code WriteAll(int fd, std::span<const std::uint8_t> contents) {
    if (auto fault = InjectedFault(ReplaceStep::Write)) {
        return *fault;
    }
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return LastSystemError();
        }
        contents = contents.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

std::error_code Flush(int fd) {
    if (auto fault = InjectedFault(ReplaceStep::Flush)) {
        return *fault;
    }
    return ::fsync(fd) == 0 ? std::error_code{} : LastSystemError();
}

std::error_code RenameOver(const std::string& from, const std::filesystem::path& to) {
    if (auto fault = InjectedFault(ReplaceStep::Rename)) {
        return *fault;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code{} : LastSystemError();
}

// The renamed entry itself is durable only once its folder is flushed; a
// failure here loses nothing already written, so it is not reported.
void FlushFolder(const std::filesystem::path& folder) {
    UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

// Writes, flushes and closes the temporary file; the caller removes it on failure.
std::error_code FillTemporary(UniqueFd fd, std::span<const std::uint8_t> contents) {
    if (::fchmod(fd.get(), kNewFileMode) != 0) {
        return LastSystemError();
    }
    if (auto error = WriteAll(fd.get(), contents)) {
        return error;
    }
    if (auto error = Flush(fd.get())) {
        return error;
    }
    return fd.close();
}

bool IsTemporaryLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A name that mkostemp makes from the file's name: NAME.tmp- and six letters.
bool IsTemporaryOf(std::string_view entry, std::string_view fileName) {
    if (entry.size() != fileName.size() + kTemporarySuffix.size() || !entry.starts_with(fileName) ||
        entry.substr(fileName.size(), kTemporaryMark.size()) != kTemporaryMark) {
        return false;
    }
    const std::string_view letters = entry.substr(entry.size() - kTemporaryLetters);
    return std::all_of(letters.begin(), letters.end(), IsTemporaryLetter);
}

// A save killed between creating its temporary file and the rename leaves
// that file behind; the next successful save of the same file clears such
// leftovers. Failures only leave them for the next time.
void RemoveLeftoverTemporaries(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    const std::string fileName = path.filename().string();
    std::error_code error;
    std::vector<std::filesystem::path> leftovers;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (IsTemporaryOf(entry->path().filename().string(), fileName) && entry->is_regular_file(error)) {
            leftovers.push_back(entry->path());
        }
    }
    for (const std::filesystem::path& leftover : leftovers) {
        std::filesystem::remove(leftover, error);
    }
}

}  // namespace

FileContents<std::string> ReadTextFile(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    return ReadWhole<std::string>(path, maxBytes);
}

FileContents<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path,
                                                       std::uintmax_t maxBytes) {
    return ReadWhole<std::vector<std::uint8_t>>(path, maxBytes);
}

std::error_code ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> contents) {
    if (auto fault = InjectedFault(ReplaceStep::Create)) {
        return *fault;
    }
    std::string temporary = path.string();
    temporary += kTemporarySuffix;
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return LastSystemError();
    }
    std::error_code error = FillTemporary(std::move(fd), contents);
    if (!error) {
        error = RenameOver(temporary, path);
    }
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    FlushFolder(path.parent_path());
    RemoveLeftoverTemporaries(path);
    return {};
}

std::error_code ReplaceFile(const std::filesystem::path& path, std::string_view contents) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(contents.data());
    return ReplaceFile(path, std::span<const std::uint8_t>(first, contents.size()));
}

std::error_code CreateFolders(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error) {
        error = SystemError(ENOTDIR);
    }
    return error;
}

bool IsExistingFolder(const std::filesystem::path& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

std::string UnreadableFileReason(const std::filesystem::path& path, std::string_view otherwise) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) {
        return error.message();
    }
    if (std::filesystem::is_directory(status)) {
        return SystemText(EISDIR);
    }
    if (::access(path.c_str(), R_OK) != 0) {
        return SystemText(errno);
    }
    return std::string(otherwise);
}

ScopedReplaceFault::ScopedReplaceFault(ReplaceStep step, int errorNumber) {
    FaultState& fault = Fault();
    fault.step = step;
    fault.errorNumber = errorNumber;
    fault.active = true;
}

ScopedReplaceFault::~ScopedReplaceFault() { Fault().active = false; }

}  // namespace tarnwick
