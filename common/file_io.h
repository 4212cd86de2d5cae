// SPDX-License-Identifier: GPL-2.0-or-later
// The shared folder below every layer, and its one place where the system
// reads and writes whole files. The folder owns what every layer needs and
// none should own: whole files and atomic replace (here), the owner of a file
// descriptor (unique_fd.h), an errno's error and text (system_error.h), the
// per-user configuration folder (config_folder.h) and comparing names without
// regard to case (ascii_case.h). It depends on no other layer of ours.
//
// Every file the system writes is replaced atomically: the new contents go
// to a temporary file in the same folder, are flushed to disk and then
// renamed over the old file. A failure at any step leaves the old file as it
// was and removes the temporary file. A successful replace also removes the
// temporary files (NAME.tmp-XXXXXX) that a killed earlier save of the same
// file left behind. A symlink is written through: the file it leads to is
// replaced and the link stays (a dangling link gets its file made).
//
// The first replace in a process sets SIGXFSZ to be ignored unless the
// program handles it itself, so that a file size limit (ulimit -f) fails the
// write with EFBIG, and the save cleans up, instead of killing the process
// half-way through it.
//
// Errors are returned, never thrown: a std::error_code of the generic
// category holding the errno of the refused call (message() is its system
// text, see system_error.h).
// The functions are safe on any thread for different paths; writers of the
// same path must not race.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarnwick {

template <typename Bytes>
struct FileContents {
    Bytes bytes;
    std::error_code error;  // empty on success; bytes is then the whole file

    bool ok() const noexcept { return !error; }
};

inline constexpr std::uintmax_t kNoSizeLimit = std::numeric_limits<std::uintmax_t>::max();

// Reads a regular file whole. A folder gives EISDIR, any other kind of file
// EINVAL (so a FIFO or a device never blocks or streams forever), a file
// larger than maxBytes EFBIG.
FileContents<std::string> ReadTextFile(const std::filesystem::path& path,
                                       std::uintmax_t maxBytes = kNoSizeLimit);
FileContents<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path,
                                                       std::uintmax_t maxBytes = kNoSizeLimit);

// Why ReadTextFile cannot even begin on the file: the error of opening it,
// EISDIR or EINVAL as above; empty when it opens as a regular file.
std::error_code FileReadError(const std::filesystem::path& path);

// Hands a regular file to piece a part of at most kReadPiece bytes at a
// time, in order, so that a large file need not be held whole; refuses what
// ReadBinaryFile refuses. A failure part-way ends it with its error.
inline constexpr std::size_t kReadPiece = 64 * 1024;
std::error_code ReadFileInPieces(const std::filesystem::path& path,
                                 const std::function<void(std::span<const std::uint8_t>)>& piece);

// Replaces (or creates) the file with exactly these bytes; see above. The
// folder must exist.
std::error_code ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> contents);
std::error_code ReplaceFile(const std::filesystem::path& path, std::string_view contents);
// As ReplaceFile, but never in place of a file already at path: that gives
// EEXIST, and the file stays as it was.
std::error_code WriteNewFile(const std::filesystem::path& path, std::string_view contents);

// Where MoveAside put a file, or why it could not.
struct MovedAside {
    std::filesystem::path path;
    std::error_code error;  // ENOENT when nothing was there to move
};

// Renames the file out of the way so that a new one can take its place:
// to NAME.MARK-YYYYMMDD-HHMMSS (local time), with "-2", "-3", ... appended
// while that name is taken. As ReplaceFile writes through a symlink, the
// file a symlink leads to is moved and the link stays; a link that leads
// round in a loop is moved itself.
MovedAside MoveAside(const std::filesystem::path& path, std::string_view mark);

// Creates the folder and any missing parents; success when it exists already.
std::error_code CreateFolders(const std::filesystem::path& path);

bool IsExistingFolder(const std::filesystem::path& path);

// Whether both paths name one existing file, under any spelling, through a
// link or a second hard link: what a writer must check so that it never
// replaces one of its own inputs. False when either does not exist.
bool IsSameFile(const std::filesystem::path& first, const std::filesystem::path& second);

// Why a file cannot be read, in the system's text: it is missing, a folder,
// or we may not read it; `otherwise` when none of these holds (the file's
// contents are at fault).
std::string UnreadableFileReason(const std::filesystem::path& path, std::string_view otherwise);

// The step of ReplaceFile at which a simulated failure strikes.
enum class ReplaceStep { Create, Write, Flush, Rename };

// For tests: while an object lives, every ReplaceFile in the process fails at
// that step with that errno, as a full disk or a crash would make it fail.
// Only one may live at a time.
class ScopedReplaceFault {
public:
    ScopedReplaceFault(ReplaceStep step, int errorNumber);
    ~ScopedReplaceFault();
    ScopedReplaceFault(const ScopedReplaceFault&) = delete;
    ScopedReplaceFault& operator=(const ScopedReplaceFault&) = delete;
};

}  // namespace tarnwick
