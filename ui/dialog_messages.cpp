// SPDX-License-Identifier: GPL-2.0-or-later
#include "dialog_messages.h"

#include <QPushButton>
#include <QApplication>
#include <QMessageBox>

namespace tarnwick {
namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

MessageAnswer answerOf(int button) {
    switch (button) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        return MessageAnswer::Ok;
    }
}

QString fromSystemText(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MessageAnswer DialogMessages::ask(std::string_view text, std::string_view caption, MessageIcon icon,
                                  MessageButtons buttons) {
    QMessageBox box(boxIcon(icon), fromSystemText(caption), fromSystemText(text), boxButtons(buttons),
                    QApplication::activeWindow());
    if (buttons == MessageButtons::YesNo) {
        // Qt would take Escape and the close box for No, an answer the user
        // never gave; they back out instead, through a Cancel never shown.
        QPushButton* backOut = box.addButton(QMessageBox::Cancel);
        backOut->hide();
        box.setEscapeButton(backOut);
    }
    return answerOf(box.exec());
}

void DialogMessages::showMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
    ask(text, caption, icon, MessageButtons::Ok);
}

}  // namespace tarnwick
