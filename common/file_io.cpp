// SPDX-License-Identifier: GPL-2.0-or-later
#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
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
// As many links as the kernel itself follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;
// Further names MoveAside tries when one is taken ("-2" up to this).
constexpr int kMaxAsideNumber = 99;

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

// A regular file open for reading, or why there is none.
struct OpenedFile {
    UniqueFd fd;
    struct stat info {};
    std::error_code error;
};

OpenedFile OpenRegularFile(const std::filesystem::path& path) {
    OpenedFile file;
    // Non-blocking open so that a FIFO cannot stall us before the type check.
    file.fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.fd.valid()) {
        file.error = LastSystemError();
    } else if (::fstat(file.fd.get(), &file.info) != 0) {
        file.error = LastSystemError();
    } else if (!S_ISREG(file.info.st_mode)) {
        file.error = SystemError(S_ISDIR(file.info.st_mode) ? EISDIR : EINVAL);
    }
    return file;
}

template <typename Bytes>
FileContents<Bytes> ReadWhole(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    FileContents<Bytes> result;
    const OpenedFile file = OpenRegularFile(path);
    if (file.error) {
        result.error = file.error;
        return result;
    }
    if (static_cast<std::uintmax_t>(file.info.st_size) > maxBytes) {
        result.error = SystemError(EFBIG);
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(file.info.st_size));
    std::size_t done = 0;
    while (done < result.bytes.size()) {
        const ssize_t got = ::read(file.fd.get(), result.bytes.data() + done, result.bytes.size() - done);
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

// Whether the new file may take the place of one already there.
enum class Placing { Replace, KeepExisting };

// A file system that cannot rename without replacing (NFS) can still link
// without replacing; the caller then removes the temporary's name.
std::error_code RenameWithoutReplacing(const std::string& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL) {
        return LastSystemError();
    }
    return ::link(from.c_str(), to.c_str()) == 0 ? std::error_code{} : LastSystemError();
}

std::error_code RenameOver(const std::string& from, const std::filesystem::path& to, Placing placing) {
    if (auto fault = InjectedFault(ReplaceStep::Rename)) {
        return *fault;
    }
    if (placing == Placing::KeepExisting) {
        return RenameWithoutReplacing(from, to);
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

// Ignoring SIGXFSZ turns a write past the file size limit into EFBIG; a
// handler the program set itself is kept.
void IgnoreFileSizeSignal() {
    static const bool ignored = [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
            return false;
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        return ::sigaction(SIGXFSZ, &ignore, nullptr) == 0;
    }();
    (void)ignored;
}

struct ResolvedPath {
    std::filesystem::path path;
    std::error_code error;
};

// The file that path names once every symlink in its last component is
// followed; a missing file (a dangling link's target) is named all the same.
ResolvedPath FollowLinks(std::filesystem::path path) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return errno == ENOENT ? ResolvedPath{std::move(path), {}} : ResolvedPath{{}, LastSystemError()};
        }
        if (!S_ISLNK(info.st_mode)) {
            return {std::move(path), {}};
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            return {{}, error};
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return {{}, SystemError(ELOOP)};
}

bool EntryExists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    char text[32] = "";
    if (::localtime_r(&now, &local) != nullptr) {
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    }
    return text;
}

// The first of NAME, NAME-2, NAME-3, ... that names nothing yet.
std::optional<std::filesystem::path> FreeName(const std::string& name) {
    for (int number = 1; number <= kMaxAsideNumber; ++number) {
        std::filesystem::path candidate = number == 1 ? name : name + "-" + std::to_string(number);
        if (!EntryExists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// The contents under a temporary name in the same folder, flushed, then
// renamed to path; the temporary is gone whatever happens.
std::error_code WriteThroughTemporary(const std::filesystem::path& path, std::span<const std::uint8_t> contents,
                                      Placing placing) {
    IgnoreFileSizeSignal();
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
        error = RenameOver(temporary, path, placing);
    }
    // After a rename the name is gone already; after a link it is a second one.
    ::unlink(temporary.c_str());
    if (error) {
        return error;
    }
    FlushFolder(path.parent_path());
    RemoveLeftoverTemporaries(path);
    return {};
}

std::span<const std::uint8_t> BytesOf(std::string_view contents) {
    return {reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()};
}

}  // namespace

std::error_code FileReadError(const std::filesystem::path& path) {
    return OpenRegularFile(path).error;
}

FileContents<std::string> ReadTextFile(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    return ReadWhole<std::string>(path, maxBytes);
}

FileContents<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path,
                                                       std::uintmax_t maxBytes) {
    return ReadWhole<std::vector<std::uint8_t>>(path, maxBytes);
}

std::error_code ReadFileInPieces(const std::filesystem::path& path,
                                 const std::function<void(std::span<const std::uint8_t>)>& piece) {
    const OpenedFile file = OpenRegularFile(path);
    if (file.error) {
        return file.error;
    }
    std::vector<std::uint8_t> buffer(kReadPiece);
    for (;;) {
        const ssize_t got = ::read(file.fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return LastSystemError();
        }
        if (got == 0) {
            return {};
        }
        piece(std::span(buffer).first(static_cast<std::size_t>(got)));
    }
}

std::error_code ReplaceFile(const std::filesystem::path& linkOrFile, std::span<const std::uint8_t> contents) {
    const ResolvedPath resolved = FollowLinks(linkOrFile);
    if (resolved.error) {
        return resolved.error;
    }
    return WriteThroughTemporary(resolved.path, contents, Placing::Replace);
}

std::error_code ReplaceFile(const std::filesystem::path& path, std::string_view contents) {
    return ReplaceFile(path, BytesOf(contents));
}

std::error_code WriteNewFile(const std::filesystem::path& path, std::string_view contents) {
    return WriteThroughTemporary(path, BytesOf(contents), Placing::KeepExisting);
}

std::error_code CreateFolders(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error) {
        error = SystemError(ENOTDIR);
    }
    return error;
}

MovedAside MoveAside(const std::filesystem::path& path, std::string_view mark) {
    ResolvedPath resolved = FollowLinks(path);
    if (resolved.error == std::errc::too_many_symbolic_link_levels) {
        resolved = {path, {}};
    }
    if (resolved.error) {
        return {{}, resolved.error};
    }
    if (!EntryExists(resolved.path)) {
        return {{}, SystemError(ENOENT)};
    }
    const auto aside = FreeName(resolved.path.string() + "." + std::string(mark) + "-" + LocalTimeStamp());
    if (!aside) {
        return {{}, SystemError(EEXIST)};
    }
    if (::rename(resolved.path.c_str(), aside->c_str()) != 0) {
        return {{}, LastSystemError()};
    }
    FlushFolder(resolved.path.parent_path());
    return {*aside, {}};
}

bool IsExistingFolder(const std::filesystem::path& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

bool IsSameFile(const std::filesystem::path& first, const std::filesystem::path& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error) && !error;
}

std::string UnreadableFileReason(const std::filesystem::path& path, std::string_view otherwise) {
    const std::error_code error = FileReadError(path);
    return error ? error.message() : std::string(otherwise);
}

ScopedReplaceFault::ScopedReplaceFault(ReplaceStep step, int errorNumber) {
    FaultState& fault = Fault();
    fault.step = step;
    fault.errorNumber = errorNumber;
    fault.active = true;
}

ScopedReplaceFault::~ScopedReplaceFault() { Fault().active = false; }

}  // namespace tarnwick
