// SPDX-License-Identifier: GPL-2.0-or-later
// One run of the window for scripts/soak-window.sh, which is not part of the
// suite: starts the main window on the settings file given (offscreen unless
// QT_QPA_PLATFORM says otherwise), clicks "&Update camera..." when it is
// enabled, waits for the update to end and leaves through the Exit button.
// Every message and question goes to standard output, one line each with its
// line breaks as "\n", and is answered as a user in a hurry would: Yes, OK.
// The exit status is the window's own (2 after Exit); 3 when the update did
// not end within two minutes (a port that opens with no camera behind
// it keeps the connection procedure waiting for 70 s).
#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>

#include <array>
#include <chrono>
#include <iostream>
#include <string>

#include "control_ids.h"
#include "main_window.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

constexpr auto kUpdateLimit = 120s;
constexpr int kExitUpdateHung = 3;
constexpr std::array kEndingNames{"None", "NotConnected", "NoPackage", "Refused", "Programmed"};

void PrintLine(std::string_view kind, std::string_view text) {
    std::string line(kind);
    line += ": ";
    for (const char c : text) {
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    std::cout << line << std::endl;
}

class AnsweringMessages final : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view, MessageIcon) override { PrintLine("message", text); }
    MessageAnswer ask(std::string_view text, std::string_view, MessageIcon, MessageButtons buttons) override {
        PrintLine("question", text);
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
};

bool Idle(const MainWindow& window) {
    return window.orchestrator().updateState() == UpdateState::Idle && !window.orchestrator().connected() &&
           window.controlsEnabled() && !window.progressWindow().isVisible();
}

// The events run while it waits, as they would for a user.
bool WaitForIdle(const MainWindow& window) {
    const auto deadline = std::chrono::steady_clock::now() + kUpdateLimit;
    while (!Idle(window) && std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(10);
    }
    return Idle(window);
}

void UpdateThenExit(MainWindow& window) {
    QWidget* update = window.control(IdUpdateCamera);
    if (!update->isEnabled()) {
        PrintLine("update", "not enabled");
    } else {
        QTest::mouseClick(update, Qt::LeftButton);
        if (!WaitForIdle(window)) {
            PrintLine("update", "did not end");
            QCoreApplication::exit(kExitUpdateHung);
            return;
        }
        PrintLine("update", kEndingNames[static_cast<std::size_t>(window.orchestrator().lastUpdateEnding())]);
    }
    QTest::mouseClick(window.control(IdExit), Qt::LeftButton);
}

}  // namespace
}  // namespace tarnwick

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tarnwick-window-soak-run SETTINGS_FILE\n";
        return 64;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    tarnwick::AnsweringMessages messages;
    tarnwick::MainWindowOptions options;
    options.settingsFile = argv[1];
    tarnwick::MainWindow window(messages, options);
    QObject::connect(&window, &tarnwick::MainWindow::exited, &application, &QApplication::exit);
    window.show();
    QTimer::singleShot(0, &window, [&window] { tarnwick::UpdateThenExit(window); });
    return QApplication::exec();
}
