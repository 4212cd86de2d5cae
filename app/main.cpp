// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick: the window's program. Its own options are --help and --version;
// Qt's (-platform and the like) are Qt's.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <optional>

#include "dialog_messages.h"
#include "main_window.h"
#include "tarnwick_version.h"

namespace {

// Qt's --help-all is left out: it would list Qt's options only once the
// window's application object exists, which needs a display.
void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Updates the firmware of digital cameras over a serial line.\n"
                       "Qt's options, such as -platform, are accepted as well."));
    // -platform and its kind are words, not bundles of one-letter options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help.")});
    parser.addVersionOption();
}

// Answers --help and --version before the window's application object
// exists, as that needs a display; nothing, when the window is to open. Qt's
// options are still among the arguments here, and are not errors yet.
std::optional<int> answerWithoutWindow(int& argc, char** argv) {
    const QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    describeOptions(parser);
    parser.parse(QCoreApplication::arguments());
    QString answer;
    if (parser.isSet(QStringLiteral("help"))) {
        answer = parser.helpText();
    } else if (parser.isSet(QStringLiteral("version"))) {
        answer = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
    } else {
        return std::nullopt;
    }
    std::fputs(answer.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
    QCoreApplication::setApplicationVersion(
        QString::fromLatin1(tarnwick::kProductVersion.data(), qsizetype(tarnwick::kProductVersion.size())));
    if (const auto status = answerWithoutWindow(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    // Qt has taken its options out by now; anything else unknown is refused.
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(application);
    // The exit path ends the program with its own code, not the last window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vornix.tarnwick"));
    tarnwick::DialogMessages messages;
    tarnwick::MainWindow window(messages);
    QObject::connect(&window, &tarnwick::MainWindow::exited, &application, &QApplication::exit);
    window.show();
    return QApplication::exec();
}
