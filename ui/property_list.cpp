// SPDX-License-Identifier: GPL-2.0-or-later
#include "property_list.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>

namespace tarnwick {
namespace {

constexpr int kEditMargin = 2;
constexpr int kDividerGrip = 3;
constexpr int kCategoryBox = 16;

PropertyKind KindOf(const QModelIndex& index) {
    return static_cast<PropertyKind>(index.data(PropertyModel::KindRole).toInt());
}

bool IsPrintable(const QKeyEvent& key) {
    return !key.text().isEmpty() && key.text().front() > QChar(u' ');
}

// Draws the divider and makes the in-place controls; their keys and focus
// are the list's concern, so the delegate's own editor handling stays out.
class PropertyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() == PropertyModel::ValueColumn && KindOf(index) != PropertyKind::Category) {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Button));
            painter->drawLine(option.rect.topLeft(), option.rect.bottomLeft());
            painter->restore();
        }
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        switch (KindOf(index)) {
        case PropertyKind::EditableText: {
            auto* edit = new QLineEdit(parent);
            edit->setFrame(false);
            edit->setAutoFillBackground(true);
            edit->setTextMargins(kEditMargin, 0, kEditMargin, 0);
            return edit;
        }
        case PropertyKind::FileName:
            return new QPushButton(QStringLiteral("..."), parent);
        default:
            return nullptr;
        }
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(index.data().toString());
            edit->setModified(false);
        }
    }

    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        QRect area = option.rect;
        if (qobject_cast<QPushButton*>(editor)) {
            const int width = std::max(area.height(), editor->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 8);
            area.setLeft(std::max(area.left(), area.right() - width + 1));
        }
        editor->setGeometry(area);
    }

protected:
    bool eventFilter(QObject*, QEvent*) override { return false; }
};

}  // namespace

int ClampDivider(int position, int width) {
    return std::clamp(position, kDividerMargin, std::max(kDividerMargin, width - kDividerMargin));
}

PropertyList::PropertyList(QWidget* parent) : QTreeView(parent) {
    setModel(&model_);
    setItemDelegate(new PropertyDelegate(this));
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setIndentation(kCategoryBox);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setAllColumnsShowFocus(true);
    setUniformRowHeights(true);
    viewport()->setMouseTracking(true);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { notify(PropertyNotification::CategoryExpanded, model_.idAt(index)); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { notify(PropertyNotification::CategoryCollapsed, model_.idAt(index)); });
}

PropertyList::~PropertyList() {
    // The control's focus loss must not reach a half-destroyed list.
    if (QWidget* control = inPlaceControl()) {
        control->removeEventFilter(this);
    }
}

PropertyId PropertyList::addCategory(const QString& name) {
    const PropertyId id = model_.addCategory(name);
    const QModelIndex index = model_.indexOf(id);
    setFirstColumnSpanned(index.row(), QModelIndex(), true);
    expand(index);
    return id;
}

PropertyId PropertyList::addItem(const QString& name, PropertyKind kind, const QString& value, bool enabled) {
    return model_.addItem(name, kind, value, enabled);
}

void PropertyList::setValue(PropertyId id, const QString& value) {
    model_.setValue(id, value);
}

QString PropertyList::value(PropertyId id) const {
    return model_.value(id);
}

void PropertyList::setItemEnabled(PropertyId id, bool enabled) {
    model_.setEnabled(id, enabled);
    if (id == currentProperty()) {
        reopenInPlaceControl();
    }
}

bool PropertyList::isItemEnabled(PropertyId id) const {
    return model_.isEnabled(id);
}

void PropertyList::setValidator(PropertyId id, PropertyValidator validator) {
    model_.setValidator(id, std::move(validator));
}

void PropertyList::clearCurrentRow() {
    setCurrentIndex(QModelIndex());
}

PropertyId PropertyList::currentProperty() const {
    return model_.idAt(currentIndex());
}

QWidget* PropertyList::inPlaceControl() const {
    return controlIndex_.isValid() ? indexWidget(controlIndex_) : nullptr;
}

int PropertyList::dividerPosition() const {
    return columnWidth(PropertyModel::NameColumn);
}

void PropertyList::setDividerPosition(int position) {
    setColumnWidth(PropertyModel::NameColumn, ClampDivider(position, viewport()->width()));
}

bool PropertyList::notify(PropertyNotification code, PropertyId property, const QString& newValue) {
    PropertyNotice notice{code, property, newValue};
    emit notification(notice);
    return notice.veto;
}

void PropertyList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    // The view moves its current cell to a control that takes the focus; the
    // row stays the same and so does its control.
    if (model_.idAt(current) == model_.idAt(previous)) {
        return;
    }
    closeInPlaceControl();
    openInPlaceControl(model_.idAt(current));
    notify(PropertyNotification::SelectionChanged, model_.idAt(current));
}

void PropertyList::openInPlaceControl(PropertyId id) {
    if (!model_.isEditable(id)) {
        return;
    }
    const QModelIndex cell = model_.indexOf(id, PropertyModel::ValueColumn);
    openPersistentEditor(cell);
    QWidget* control = indexWidget(cell);
    if (!control) {
        return;
    }
    controlProperty_ = id;
    controlIndex_ = cell;
    control->installEventFilter(this);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        button->setFocusPolicy(Qt::StrongFocus);
        connect(button, &QPushButton::clicked, this, &PropertyList::requestBrowse);
    }
}

void PropertyList::closeInPlaceControl() {
    if (QWidget* control = inPlaceControl()) {
        if (control->hasFocus()) {
            setFocus();  // commits by the focus rule before the control goes
        }
        control->removeEventFilter(this);
        closePersistentEditor(controlIndex_);
    }
    controlProperty_ = kNoProperty;
    controlIndex_ = QPersistentModelIndex();
}

void PropertyList::reopenInPlaceControl() {
    closeInPlaceControl();
    openInPlaceControl(currentProperty());
}

bool PropertyList::activateInPlaceControl() {
    QWidget* control = inPlaceControl();
    if (!control) {
        return false;
    }
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->selectAll();
    }
    return true;
}

void PropertyList::commit(PropertyId id, const QString& text) {
    if (notify(PropertyNotification::ValueChanging, id, text)) {
        restoreEditText();
        return;
    }
    if (!model_.takeText(id, text)) {
        QApplication::beep();
        restoreEditText();
        return;
    }
    notify(PropertyNotification::ValueChanged, id);
}

void PropertyList::restoreEditText() {
    if (auto* edit = qobject_cast<QLineEdit*>(inPlaceControl())) {
        edit->setText(model_.value(controlProperty_));
        edit->setModified(false);
    }
}

void PropertyList::requestBrowse() {
    notify(PropertyNotification::BrowseRequested, controlProperty_);
}

// The in-place control gives the focus back to the list before the row changes.
void PropertyList::moveSelectionFromControl(int key) {
    setFocus();
    const QModelIndex next = moveCursor(key == Qt::Key_Up ? MoveUp : MoveDown, Qt::NoModifier);
    if (next.isValid()) {
        setCurrentIndex(next);
    }
}

bool PropertyList::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && activateInPlaceControl()) {
            return true;
        }
    }
    return QTreeView::event(event);
}

void PropertyList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_F2) {
        activateInPlaceControl();
        return;
    }
    if (IsPrintable(*event)) {
        // The character starts the new text; it never searches the rows.
        if (activateInPlaceControl()) {
            QCoreApplication::sendEvent(inPlaceControl(), event);
        }
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool PropertyList::eventFilter(QObject* watched, QEvent* event) {
    if (watched != inPlaceControl()) {
        return QTreeView::eventFilter(watched, event);
    }
    return qobject_cast<QLineEdit*>(watched) ? filterEdit(event) : filterButton(event);
}

bool PropertyList::filterEdit(QEvent* event) {
    auto* edit = static_cast<QLineEdit*>(inPlaceControl());
    switch (event->type()) {
    case QEvent::FocusOut:
        if (edit->isModified()) {
            edit->setModified(false);
            commit(controlProperty_, edit->text());
        }
        return false;
    case QEvent::KeyPress:
        break;
    default:
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        setFocus();
        return true;
    case Qt::Key_Escape:
        // Cancelling shows the value again, so the focus loss finds nothing to commit.
        restoreEditText();
        setFocus();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        moveSelectionFromControl(key);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        edit->selectAll();
        return true;
    default:
        return false;
    }
}

bool PropertyList::filterButton(QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_F2:
    case Qt::Key_F4:
        requestBrowse();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        moveSelectionFromControl(key);
        return true;
    case Qt::Key_Escape: {
        const PropertyId id = controlProperty_;
        setFocus();
        commit(id, model_.value(id));
        return true;
    }
    default:
        return false;
    }
}

bool PropertyList::onDivider(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    return index.isValid() && KindOf(index) != PropertyKind::Category &&
           std::abs(position.x() - dividerPosition()) <= kDividerGrip;
}

void PropertyList::mousePressEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    if (index.isValid() && notify(PropertyNotification::RowClicked, model_.idAt(index))) {
        setFocus();
        return;
    }
    if (event->button() == Qt::LeftButton && onDivider(position)) {
        draggingDivider_ = true;
        return;
    }
    QTreeView::mousePressEvent(event);
    // The click that selected an enabled property also works its control.
    QWidget* control = inPlaceControl();
    if (!control || !control->geometry().contains(position)) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setFocus(Qt::MouseFocusReason);
        edit->setCursorPosition(edit->cursorPositionAt(edit->mapFrom(viewport(), position)));
    } else {
        control->setFocus(Qt::MouseFocusReason);
        requestBrowse();
    }
}

void PropertyList::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (draggingDivider_ || onDivider(position)) {
        viewport()->setCursor(Qt::SplitHCursor);
    } else {
        viewport()->unsetCursor();
    }
    QTreeView::mouseMoveEvent(event);
}

void PropertyList::mouseReleaseEvent(QMouseEvent* event) {
    if (!draggingDivider_) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    draggingDivider_ = false;
    dividerMoved_ = true;
    setDividerPosition(event->position().toPoint().x());
}

void PropertyList::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    if (!dividerMoved_) {
        setDividerPosition(viewport()->width() / 4);
    }
}

void PropertyList::scrollContentsBy(int dx, int dy) {
    // Scrolling ends the edit first, by the focus rule.
    if (QWidget* control = inPlaceControl(); control && control->hasFocus()) {
        setFocus();
    }
    QTreeView::scrollContentsBy(dx, dy);
}

}  // namespace tarnwick
