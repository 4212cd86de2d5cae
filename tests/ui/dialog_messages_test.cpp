// The system's texts in real message boxes, answered by a timer.
#include "dialog_messages.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "qt_printers.h"

namespace tarnwick {
namespace {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Notes the box that opens next and presses answer in it.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton answer) {
    QTimer::singleShot(0, [&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->button(answer)->click();
    });
}

TEST(DialogMessages, FailureTextHasAnEmptyCaptionAndOnlyOk) {
    DialogMessages messages;
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    messages.showMessage("Can't erase sector...", "", MessageIcon::None);
    EXPECT_EQ(seen.caption, "");
    EXPECT_EQ(seen.text, "Can't erase sector...");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

TEST(DialogMessages, QuestionAnswersWithTheButtonPressed) {
    DialogMessages messages;
    SeenBox seen;
    for (const auto& [pressed, answer] : {std::pair{QMessageBox::Yes, MessageAnswer::Yes},
                                          std::pair{QMessageBox::No, MessageAnswer::No}}) {
        AnswerNextBox(seen, pressed);
        EXPECT_EQ(messages.ask("Save package list?", "Tarnwick", MessageIcon::Question, MessageButtons::YesNo),
                  answer);
        EXPECT_EQ(seen.caption, "Tarnwick");
        EXPECT_EQ(seen.icon, QMessageBox::Question);
        EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    }
}

}  // namespace
}  // namespace tarnwick
