// SPDX-License-Identifier: GPL-2.0-or-later
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "bench.h"
#include "system_error.h"

extern char** environ;

namespace tarnwick::bench {

double fastest(const std::function<void()>& work, int runs) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

double cheapest(const std::function<void()>& work, int runs) {
    const auto threadCpu = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    };
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const double start = threadCpu();
        work();
        best = std::min(best, threadCpu() - start);
    }
    return best;
}

void report(std::string_view name, double subjectSeconds, std::string_view reference, double referenceSeconds) {
    std::printf("%-36.*s %9.3f ms   %-28.*s %9.3f ms   ratio %7.3f\n", static_cast<int>(name.size()), name.data(),
                subjectSeconds * 1e3, static_cast<int>(reference.size()), reference.data(), referenceSeconds * 1e3,
                subjectSeconds / referenceSeconds);
}

void reportFigure(std::string_view name, double subject, std::string_view reference, double referenceValue,
                  std::string_view unit) {
    std::printf("%-36.*s %9.3f %-2.*s   %-28.*s %9.3f %-2.*s   ratio %6.4f\n", static_cast<int>(name.size()),
                name.data(), subject, static_cast<int>(unit.size()), unit.data(), static_cast<int>(reference.size()),
                reference.data(), referenceValue, static_cast<int>(unit.size()), unit.data(), subject / referenceValue);
}

namespace {

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

}  // namespace

ChildRun runChild(const std::vector<std::string>& argv) {
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int refused = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (refused != 0) {
        return run;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

ChildRun fastestChild(const std::vector<std::string>& argv, int runs) {
    ChildRun best{1e30, 1e30, true};
    for (int run = 0; run < runs; ++run) {
        const ChildRun next = runChild(argv);
        best.succeeded = best.succeeded && next.succeeded;
        best.seconds = std::min(best.seconds, next.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, next.cpuSeconds);
    }
    return best;
}

MeasuredRun measuredChild(const std::vector<std::string>& argv) {
    const ScratchFolder folder;
    const std::string report = (folder.path() / "peak").string();
    std::vector<std::string> timed{"/usr/bin/time", "-f", "%M", "-o", report};
    timed.insert(timed.end(), argv.begin(), argv.end());
    MeasuredRun measured{runChild(timed)};
    if (measured.run.succeeded) {
        std::ifstream in(report);
        in >> measured.peakKilobytes;
    }
    return measured;
}

long peakKilobytes(const std::vector<std::string>& argv) { return measuredChild(argv).peakKilobytes; }

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder: " + SystemText(errno));
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path builtProgram(std::string_view folder, std::string_view name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / folder / name;
}

std::vector<std::uint8_t> sevenBitImage(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& byte : image) {
        byte = static_cast<std::uint8_t>(random() & 0x7F);
    }
    return image;
}

const ImageType& imageTypeNamed(std::string_view name) {
    for (const ImageType& type : ImageTypes()) {
        if (type.name == name) {
            return type;
        }
    }
    throw std::invalid_argument("no image type " + std::string(name));
}

}  // namespace tarnwick::bench

namespace {

struct Benchmark {
    std::string_view name;
    void (*run)();
};

// In the order they run; the transfer and the backup take minutes, as a real
// line would.
constexpr std::array kBenchmarks{
    Benchmark{"crc", tarnwick::bench::benchFrameCrc},
    Benchmark{"image", tarnwick::bench::benchImageLoad},
    Benchmark{"package", tarnwick::bench::benchPackageRead},
    Benchmark{"startup", tarnwick::bench::benchPackageList},
    Benchmark{"history", tarnwick::bench::benchHistory},
#ifdef TARNWICK_BENCH_WINDOW
    Benchmark{"window-startup", tarnwick::bench::benchWindowStartup},
    Benchmark{"window-stall", tarnwick::bench::benchWindowStall},
#endif
    Benchmark{"transfer", tarnwick::bench::benchTransfer},
    Benchmark{"backup", tarnwick::bench::benchBackup},
    Benchmark{"parallel", tarnwick::bench::benchParallel},
};

}  // namespace

// tarnwick-bench [NAME...]: the benchmarks named (crc, image, package,
// startup, history, window-startup, window-stall, transfer, backup, parallel), or all of them.
int main(int argc, char** argv) {
    const std::vector<std::string_view> chosen(argv + 1, argv + argc);
    for (const Benchmark& benchmark : kBenchmarks) {
        if (chosen.empty() || std::ranges::find(chosen, benchmark.name) != chosen.end()) {
            benchmark.run();
        }
    }
}
