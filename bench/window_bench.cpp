// SPDX-License-Identifier: GPL-2.0-or-later
// The window's speed as its user feels it, on Qt's offscreen platform (unless
// another is chosen), so that no display is needed:
// - start-up with 20 packages of about 6 MB in the package list, from
//   constructing the main window to its first paint, against the half second
//   start-up may take;
// - a whole update from the window against the simulated camera: the longest
//   time the window's event loop could not run, against the 50 ms a user does
//   not notice, with the disconnect sequence apart, which may wait up to
//   2 005 ms for the camera and is set against that; and how long the
//   package's data took to load beside the window, against the load alone.
//   The update runs three times over.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench.h"
#include "control_ids.h"
#include "main_window.h"
#include "package_file.h"
#include "settings_store.h"
#include "simulated_camera.h"

namespace tarnwick::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kUnnoticedStallMs = 50;
// Updates in a row: the longest stall of any counts, and the fastest load.
constexpr int kUpdateRuns = 3;
constexpr auto kPaintLimit = 10s;
constexpr auto kUpdateLimit = 120s;

int applicationArgc = 1;
char applicationName[] = "tarnwick-bench";
char* applicationArgv[] = {applicationName, nullptr};

// One application per benchmark, made after this.
void chooseOffscreenPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The window's own defaults on that settings file, and so on the package list beside it.
MainWindowOptions windowOptions(const std::filesystem::path& settingsFile) {
    MainWindowOptions options;
    options.settingsFile = settingsFile;
    return options;
}

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
    bool painted = false;
};

struct Startup {
    double seconds = 0;
    std::size_t packages = 0;
    bool painted = false;
};

Startup startWindow(const std::filesystem::path& settingsFile) {
    SilentMessages messages;
    const Clock::time_point start = Clock::now();
    MainWindow window(messages, windowOptions(settingsFile));
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.show();
    while (!firstPaint.painted && Clock::now() - start < kPaintLimit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return {millisecondsBetween(start, Clock::now()) / 1e3, window.packages().size(), firstPaint.painted};
}

// The longest gaps between the timeouts of a 1 ms timer on the window's
// thread, in milliseconds, filed by what the update did in them.
struct Stalls {
    // The click that starts the update.
    double start = 0;
    double disconnect = 0;
    double rest = 0;
    // From the click until the loaded data was in the package and the
    // worker connecting.
    double loadMs = 0;
    double updateSeconds = 0;
    bool finished = false;
};

// Where a gap belongs, by the update's state before and after it. Events
// handled in one pass of the loop may take the state through several steps.
double& stallOf(Stalls& stalls, UpdateState before, UpdateState after) {
    if (before == UpdateState::Idle && after != UpdateState::Idle) {
        return stalls.start;
    }
    // Leaving programming queues the closing jobs and waits for their end;
    // leaving closing stops the worker and closes the port.
    if (before != after && (before == UpdateState::Programming || before == UpdateState::Closing)) {
        return stalls.disconnect;
    }
    return stalls.rest;
}

Stalls worstOf(const Stalls& first, const Stalls& second) {
    Stalls worst = second;
    worst.start = std::max(first.start, second.start);
    worst.disconnect = std::max(first.disconnect, second.disconnect);
    worst.rest = std::max(first.rest, second.rest);
    worst.loadMs = first.loadMs > 0 ? std::min(first.loadMs, second.loadMs) : second.loadMs;
    worst.updateSeconds = std::max(first.updateSeconds, second.updateSeconds);
    return worst;
}

bool updateOver(const MainWindow& window) {
    const UpdateOrchestrator& orchestrator = window.orchestrator();
    return orchestrator.updateState() == UpdateState::Idle && !orchestrator.connected() && window.controlsEnabled() &&
           !window.progressWindow().isVisible();
}

Stalls runUpdate(MainWindow& window) {
    const UpdateOrchestrator& orchestrator = window.orchestrator();
    Stalls stalls;
    QEventLoop loop;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    const Clock::time_point begin = Clock::now();
    Clock::time_point lastTick = begin;
    Clock::time_point clickedAt = begin;
    UpdateState lastState = orchestrator.updateState();
    bool clicked = false;
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        const Clock::time_point now = Clock::now();
        const UpdateState state = orchestrator.updateState();
        double& longest = stallOf(stalls, lastState, state);
        longest = std::max(longest, millisecondsBetween(lastTick, now));
        if (lastState == UpdateState::Loading && state != UpdateState::Loading) {
            stalls.loadMs = millisecondsBetween(clickedAt, now);
        }
        lastTick = now;
        lastState = state;
        stalls.finished = clicked && updateOver(window);
        if (stalls.finished || now - begin > kUpdateLimit) {
            loop.quit();
        }
    });
    QTimer::singleShot(0, &loop, [&] {
        clickedAt = Clock::now();
        qobject_cast<QPushButton*>(window.control(IdUpdateCamera))->click();
        clicked = true;
        if (orchestrator.updateState() == UpdateState::Idle) {
            loop.quit();
        }
    });
    ticks.start();
    loop.exec();
    stalls.updateSeconds = millisecondsBetween(begin, Clock::now()) / 1e3;
    return stalls;
}

}  // namespace

void benchWindowStartup() {
    chooseOffscreenPlatform();
    QApplication application(applicationArgc, applicationArgv);
    const ScratchFolder folder;
    writeSixMegabytePackageList(folder.path(), kStartupPackages);
    const std::filesystem::path settingsFile = folder.path() / kSettingsFileName;
    Startup best{.seconds = 1e30};
    for (int run = 0; run < 5; ++run) {
        const Startup startup = startWindow(settingsFile);
        if (!startup.painted) {
            std::printf("window start-up: the window was not painted\n");
            return;
        }
        best = startup.seconds < best.seconds ? startup : best;
    }
    char name[64];
    std::snprintf(name, sizeof name, "window shown, %zu x 6 MB packages", best.packages);
    report(name, best.seconds, "start-up budget", kStartupBudgetSeconds);
}

void benchWindowStall() {
    chooseOffscreenPlatform();
    QApplication application(applicationArgc, applicationArgv);
    const ScratchFolder folder;
    ::setenv("TARNWICK_PORTS", folder.path().c_str(), 1);
    // The update is recorded in a history of its own, not the user's.
    ::setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
    SimulatedCamera camera;
    writeSixMegabytePackageList(folder.path(), 1);
    Settings settings;
    settings.comPort = static_cast<std::uint32_t>(camera.portNumber());
    settings.comBps = 115200;
    const std::filesystem::path settingsFile = folder.path() / kSettingsFileName;
    if (SettingsStore(settingsFile).save(settings)) {
        std::printf("window stall: cannot write the settings\n");
        return;
    }
    SilentMessages messages;
    MainWindow window(messages, windowOptions(settingsFile));
    window.show();
    // The load runs beside the window; it should take no longer there than
    // alone. Both are the fastest of three.
    Package& package = *window.currentPackage();
    const double loadSeconds = fastest(
        [&] {
            LoadEveryItemData(package, messages);
            package.ReleaseAllData();
        },
        kUpdateRuns);
    Stalls stalls;
    for (int run = 0; run < kUpdateRuns; ++run) {
        const Stalls update = runUpdate(window);
        if (!update.finished || window.orchestrator().lastUpdateEnding() != UpdateEnding::Programmed ||
            window.orchestrator().lastRunSucceeded() != true) {
            std::printf("window stall: the update did not program the simulated camera\n");
            return;
        }
        stalls = worstOf(stalls, update);
    }
    char name[64];
    std::snprintf(name, sizeof name, "longest UI stall, %d updates up to %.1f s", kUpdateRuns, stalls.updateSeconds);
    reportFigure(name, std::max(stalls.start, stalls.rest), "unnoticed", kUnnoticedStallMs, "ms");
    reportFigure("  at the click", stalls.start, "unnoticed", kUnnoticedStallMs, "ms");
    reportFigure("  apart from the click", stalls.rest, "unnoticed", kUnnoticedStallMs, "ms");
    reportFigure("  data load beside the window", stalls.loadMs, "the load alone", loadSeconds * 1e3, "ms");
    // The pause after queueing the closing jobs and the wait for them to end.
    const WorkerTimings timings;
    const std::chrono::duration<double, std::milli> allowance = timings.disconnectPause + timings.disconnectWait;
    reportFigure("  disconnect sequence", stalls.disconnect, "its allowance", allowance.count(), "ms");
}

}  // namespace tarnwick::bench
