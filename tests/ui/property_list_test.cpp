// SPDX-License-Identifier: GPL-2.0-or-later
#include "property_list.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "item_property_view.h"

namespace tarnwick {
namespace {

using Code = PropertyNotification;

// The window's item properties, "Version" selected with the focus on the list.
class PropertyListTest : public ::testing::Test {
protected:
    PropertyListTest() {
        auto* layout = new QVBoxLayout(&window_);
        layout->addWidget(list_);
        layout->addWidget(elsewhere_);
        list_->setValue(rows_.version, QStringLiteral("1.00"));
        QObject::connect(list_, &PropertyList::notification, list_, [this](PropertyNotice& notice) {
            notices_.push_back(notice.code);
            notice.veto = vetoes_.count(notice.code) != 0;
        });
        window_.resize(320, 220);
        window_.show();
        window_.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
        list_->setFocus();
        select(rows_.version);
    }

    void select(PropertyId id) {
        list_->setCurrentIndex(model()->indexOf(id));
        notices_.clear();
    }

    // Keys to whichever widget has the focus: "<Name>" for a named key,
    // "<Away>" moves the focus off the list, "<VetoChanging>" vetoes the
    // edits that follow; any other token is typed character by character.
    void press(const QString& script) {
        static const std::map<QString, Qt::Key> named{
            {"<Enter>", Qt::Key_Return}, {"<Esc>", Qt::Key_Escape}, {"<Tab>", Qt::Key_Tab}, {"<F2>", Qt::Key_F2},
            {"<F4>", Qt::Key_F4}, {"<Space>", Qt::Key_Space}, {"<Up>", Qt::Key_Up}, {"<Down>", Qt::Key_Down},
            {"<Left>", Qt::Key_Left}, {"<Right>", Qt::Key_Right}};
        for (const QString& token : script.split(u' ', Qt::SkipEmptyParts)) {
            if (token == "<Away>") {
                elsewhere_->setFocus();
            } else if (token == "<VetoChanging>") {
                vetoes_.insert(Code::ValueChanging);
            } else if (const auto key = named.find(token); key != named.end()) {
                QTest::keyClick(QApplication::focusWidget(), key->second);
            } else {
                for (const QChar c : token) {
                    QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
                }
            }
        }
    }

    std::vector<Code> valueNotices() const {
        std::vector<Code> codes;
        std::ranges::copy_if(notices_, std::back_inserter(codes), [](Code code) {
            return code == Code::ValueChanging || code == Code::ValueChanged || code == Code::BrowseRequested;
        });
        return codes;
    }

    QString currentName() const { return model()->indexOf(list_->currentProperty()).data().toString(); }
    const PropertyModel* model() const { return static_cast<const PropertyModel*>(list_->model()); }

    QWidget window_;
    PropertyList* list_ = new PropertyList(&window_);
    QLineEdit* elsewhere_ = new QLineEdit(&window_);
    ItemPropertyRows rows_ = AddItemPropertyRows(*list_);
    std::vector<Code> notices_;
    std::set<Code> vetoes_;
};

struct KeyCase {
    const char* name;
    const char* keys;
    const char* version;
    std::vector<Code> notices;
    const char* current;
};

class PropertyKeysTest : public PropertyListTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(PropertyKeysTest, OnTheVersionProperty) {
    press(GetParam().keys);
    EXPECT_EQ(list_->value(rows_.version), GetParam().version);
    EXPECT_EQ(valueNotices(), GetParam().notices);
    EXPECT_EQ(currentName(), GetParam().current);
}

const std::vector<Code> kCommitted{Code::ValueChanging, Code::ValueChanged};

INSTANTIATE_TEST_SUITE_P(
    Keys, PropertyKeysTest,
    ::testing::Values(
        KeyCase{"TypingStartsTheNewTextAndEnterCommits", "2.5 <Enter>", "2.5", kCommitted, "Version"},
        KeyCase{"EscapeLeavesTheValue", "9 <Esc> <Away>", "1.00", {}, "Version"},
        KeyCase{"AnUnmodifiedEditSendsNothing", "<F2> <Enter> <Space> <Away>", "1.00", {}, "Version"},
        KeyCase{"TabSelectsTheWholeText", "<Tab> 3 <Enter>", "3", kCommitted, "Version"},
        KeyCase{"SpaceOpensTheEditForTyping", "<Space> 4 <Tab> 5 <Enter>", "5", kCommitted, "Version"},
        KeyCase{"FocusLossCommits", "6 <Away>", "6", kCommitted, "Version"},
        KeyCase{"AVetoKeepsTheOldValue", "<VetoChanging> 7 <Enter>", "1.00", {Code::ValueChanging}, "Version"},
        KeyCase{"ARefusedValueKeepsTheOldValue", "1.300 <Enter>", "1.00", {Code::ValueChanging}, "Version"},
        KeyCase{"DownCommitsAndMovesOn", "8 <Down>", "8", kCommitted, "File"},
        KeyCase{"TheButtonBrowsesOnSpaceAndF4", "<Down> <Space> <F4> <Space>", "1.00",
                std::vector(2, Code::BrowseRequested), "File"},
        KeyCase{"EscapeOnTheButtonCommitsTheFileUnchanged", "<Down> <Tab> <Esc>", "1.00", kCommitted, "File"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PropertyListTest, ADisabledPropertyOpensNoControlAndIgnoresTyping) {
    list_->setItemEnabled(rows_.version, false);
    EXPECT_EQ(list_->inPlaceControl(), nullptr);
    press("9 <Enter> <F2>");
    EXPECT_EQ(list_->value(rows_.version), "1.00");
    EXPECT_EQ(currentName(), "Version");
    list_->setItemEnabled(rows_.version, true);
    EXPECT_NE(qobject_cast<QLineEdit*>(list_->inPlaceControl()), nullptr);
}

TEST_F(PropertyListTest, SelectionAndFoldingAreReported) {
    press("<Up> <Up> <Up> <Left> <Right>");
    EXPECT_EQ(notices_, (std::vector<Code>{Code::SelectionChanged, Code::SelectionChanged, Code::SelectionChanged,
                                           Code::CategoryCollapsed, Code::CategoryExpanded}));
    EXPECT_EQ(list_->currentProperty(), rows_.category);
    list_->clearCurrentRow();
    EXPECT_EQ(list_->currentProperty(), kNoProperty);
    EXPECT_EQ(list_->inPlaceControl(), nullptr);
}

TEST_F(PropertyListTest, AVetoedClickDoesNotSelectWhileAClickOnAValueOpensItsEdit) {
    const QPoint fileValue = list_->visualRect(model()->indexOf(rows_.file, PropertyModel::ValueColumn)).center();
    vetoes_.insert(Code::RowClicked);
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, fileValue);
    EXPECT_EQ(list_->currentProperty(), rows_.version);

    vetoes_.clear();
    select(rows_.name);
    const QPoint versionValue = list_->visualRect(model()->indexOf(rows_.version, PropertyModel::ValueColumn)).center();
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, versionValue);
    EXPECT_EQ(list_->currentProperty(), rows_.version);
    EXPECT_EQ(QApplication::focusWidget(), list_->inPlaceControl());
}

TEST_F(PropertyListTest, TheDividerStartsAtAQuarterAndStaysInside) {
    const int width = list_->viewport()->width();
    EXPECT_EQ(list_->dividerPosition(), width / 4);
    list_->setDividerPosition(width);
    EXPECT_EQ(list_->dividerPosition(), width - kDividerMargin);
    EXPECT_EQ(ClampDivider(3, 200), 10);
    EXPECT_EQ(ClampDivider(120, 200), 120);
    EXPECT_EQ(ClampDivider(50, 15), 10);
}

TEST(PropertyModel, PassesTheModelTesterWhileRowsAreAddedAndChanged) {
    PropertyModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const PropertyId loose = model.addItem("Loose", PropertyKind::ReadOnlyText, "x", true);
    const PropertyId category = model.addCategory("Item properties");
    const PropertyId file = model.addItem("File", PropertyKind::FileName, "", true);
    model.addCategory("More");
    const PropertyId size = model.addItem("Size", PropertyKind::ReadOnlyText, "0", false);
    model.setValue(file, "a.bin");
    model.setEnabled(file, false);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.rowCount(model.indexOf(category)), 1);
    EXPECT_EQ(model.indexOf(size).parent().data().toString(), "More");
    EXPECT_EQ(model.idAt(model.index(0, 1, model.indexOf(category))), file);
    EXPECT_FALSE(model.takeText(file, "b.bin"));
    EXPECT_FALSE(model.takeText(loose, "y"));
    EXPECT_EQ(model.value(file), "a.bin");
}

}  // namespace
}  // namespace tarnwick
