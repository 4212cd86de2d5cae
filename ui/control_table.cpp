// SPDX-License-Identifier: GPL-2.0-or-later
#include "control_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

#include "program_icon.h"
#include "property_list.h"

namespace tarnwick {
namespace {

// The average width is measured over the 52 letters, as dialog base units
// are defined.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int roundedDivide(int numerator, int denominator) {
    return (numerator + denominator / 2) / denominator;
}

QString textOf(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QTreeView* makeTreeView(QWidget& parent) {
    auto* view = new QTreeView(&parent);
    view->setRootIsDecorated(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

QWidget* makeControl(QWidget& parent, const ControlRow& row, const DialogUnits& units) {
    const QString text = textOf(row.text);
    switch (row.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(text, &parent);
    case ControlKind::Label: {
        auto* label = new QLabel(text, &parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::DropDown:
        return new QComboBox(&parent);
    case ControlKind::Button:
        return new QPushButton(text, &parent);
    case ControlKind::DefaultButton: {
        auto* button = new QPushButton(text, &parent);
        button->setDefault(true);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, &parent);
    case ControlKind::ListView: {
        QTreeView* view = makeTreeView(parent);
        view->header()->setDefaultAlignment(Qt::AlignLeft);
        return view;
    }
    case ControlKind::PropertyGrid:
        return new PropertyList(&parent);
    case ControlKind::Edit:
        return new QLineEdit(&parent);
    case ControlKind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(&parent);
        edit->setReadOnly(true);
        return edit;
    }
    case ControlKind::VerticalLine: {
        auto* line = new QFrame(&parent);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(&parent);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(&parent);
        const int side = units.toPixelsX(row.rect.width);
        icon->setPixmap(programIcon().pixmap(side, side));
        return icon;
    }
    }
    return nullptr;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = static_cast<int>(sizeof kAlphabet - 1);
    baseX_ = roundedDivide(metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)), letters);
    baseY_ = metrics.height();
}

int DialogUnits::toPixelsX(int units) const {
    return roundedDivide(units * baseX_, 4);
}

int DialogUnits::toPixelsY(int units) const {
    return roundedDivide(units * baseY_, 8);
}

QRect DialogUnits::toPixels(const DialogRect& rect) const {
    // Both edges are converted, so that neighbours stay apart as in the
    // template whatever the rounding.
    const int left = toPixelsX(rect.x);
    const int top = toPixelsY(rect.y);
    return {left, top, toPixelsX(rect.x + rect.width) - left, toPixelsY(rect.y + rect.height) - top};
}

QSize DialogUnits::toPixels(int width, int height) const {
    return {toPixelsX(width), toPixelsY(height)};
}

ControlSet::ControlSet(QWidget& parent, std::span<const ControlRow> rows, const DialogUnits& units) {
    for (const ControlRow& row : rows) {
        QWidget* control = makeControl(parent, row, units);
        QRect geometry = units.toPixels(row.rect);
        if (row.kind == ControlKind::DropDown) {
            // A drop-down's template height is that of its open list.
            geometry.setHeight(control->sizeHint().height());
        }
        if (row.kind == ControlKind::Label || row.kind == ControlKind::CheckBox) {
            // The toolkit's check mark and margins are wider than the
            // template allowed for; texts grow to the right rather than clip.
            geometry.setWidth(std::max(geometry.width(), control->sizeHint().width()));
        }
        control->setGeometry(geometry);
        control->setProperty(kControlIdProperty, row.id);
        control->setVisible((row.flags & Hidden) == 0);
        control->setEnabled((row.flags & Disabled) == 0);
        if (row.id != kNoId) {
            byId_.emplace(row.id, control);
        }
    }
}

QWidget* ControlSet::find(int id) const {
    const auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : found->second;
}

std::unique_ptr<ControlSet> layOutDialog(QWidget& dialog, const DialogTemplate& layout) {
    dialog.setWindowTitle(textOf(layout.caption));
    dialog.setWindowIcon(programIcon());
    const DialogUnits units(dialog.font());
    auto controls = std::make_unique<ControlSet>(dialog, layout.controls, units);
    dialog.setFixedSize(units.toPixels(layout.width, layout.height));
    return controls;
}

int controlIdOf(const QObject& control) {
    const QVariant id = control.property(kControlIdProperty);
    return id.isValid() ? id.toInt() : kNoId;
}

}  // namespace tarnwick
