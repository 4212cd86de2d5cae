// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick: the window's program. It reads no command line of its own; Qt's
// options (-platform and the like) are Qt's.
#include <QApplication>

#include "dialog_messages.h"
#include "main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The exit path ends the program with its own code, not the last window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    tarnwick::DialogMessages messages;
    tarnwick::MainWindow window(messages);
    QObject::connect(&window, &tarnwick::MainWindow::exited, &application, &QApplication::exit);
    window.show();
    return QApplication::exec();
}
