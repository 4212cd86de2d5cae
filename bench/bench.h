// SPDX-License-Identifier: GPL-2.0-or-later
// A tiny timing harness: the best of several runs, reported against a
// reference (a tool, a library call, a physical limit) measured in the same
// run, so that the figure means the same on any machine. Benchmarks print;
// they never fail.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogues.h"
#include "user_messages.h"

namespace tarnwick::bench {

// Seconds of the fastest of `runs` calls.
double fastest(const std::function<void()>& work, int runs = 5);
// CPU seconds of the calling thread in the cheapest of `runs` calls.
double cheapest(const std::function<void()>& work, int runs = 5);

// Prints one line: name, both times, and how many times slower the subject is.
void report(std::string_view name, double subjectSeconds, std::string_view reference, double referenceSeconds);
// The same for any figure against its limit or reference, in the unit given.
void reportFigure(std::string_view name, double subject, std::string_view reference, double referenceValue,
                  std::string_view unit);

// One run of another program, its output thrown away.
struct ChildRun {
    double seconds = 0;
    // CPU time of the child and the children it waited for; unlike the
    // wall time it hardly moves when other work shares the machine.
    double cpuSeconds = 0;
    bool succeeded = false;
};
// argv[0] is looked up in PATH; a command line for /bin/sh runs as {"sh", "-c", LINE}.
ChildRun runChild(const std::vector<std::string>& argv);
// The fastest of `runs` runs (the least CPU time of any); succeeded when all did.
ChildRun fastestChild(const std::vector<std::string>& argv, int runs = 7);
// The program's peak resident memory in KiB as GNU time reports it (a child
// spawned from here would report this process's own size), 0 when unknown.
long peakKilobytes(const std::vector<std::string>& argv);
// One run under GNU time: the run (its CPU time includes the program's) and
// the program's peak resident memory in KiB, 0 when unknown.
struct MeasuredRun {
    ChildRun run;
    long peakKilobytes = 0;
};
MeasuredRun measuredChild(const std::vector<std::string>& argv);

// Messages nobody sees: a benchmark measures, the figures tell what failed.
class SilentMessages final : public UserMessages {
public:
    void showMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A program of the project as built: in its folder (cli, tools, ...) beside
// the benchmark's own.
std::filesystem::path builtProgram(std::string_view folder, std::string_view name);

// Bytes of seven random bits each: bzip2 packs them to about 7/8, so an
// image fills a region without growing past it.
std::vector<std::uint8_t> sevenBitImage(std::size_t size, std::uint32_t seed);

// The catalogue's row of that name; the name must be one of the catalogue's.
const ImageType& imageTypeNamed(std::string_view name);

// Writes a package of about 6 MB (a 4 MiB Corvel::FLASH image and a full
// Corvel::uC image) into the folder; its path.
std::filesystem::path writeSixMegabytePackage(const std::filesystem::path& folder);
// Writes that many copies of it and the package list that names them (as
// "Package 0", "Package 1", ...) into the folder, which is then the window's
// settings folder.
void writeSixMegabytePackageList(const std::filesystem::path& folder, int packages);

// The window's start-up: this many packages of about 6 MB in the list, and
// the time it may take.
inline constexpr int kStartupPackages = 20;
inline constexpr double kStartupBudgetSeconds = 0.5;

void benchFrameCrc();
void benchHistory();
void benchImageLoad();
void benchPackageRead();
void benchPackageList();
void benchTransfer();
void benchBackup();
void benchParallel();
// Only in builds with the window.
void benchWindowStartup();
void benchWindowStall();

}  // namespace tarnwick::bench
