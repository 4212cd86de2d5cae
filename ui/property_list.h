// SPDX-License-Identifier: GPL-2.0-or-later
// The property list: categories that fold open and closed, and properties
// with a name and a value separated by a movable divider. The selected
// enabled property opens its in-place control (an edit or a "..." button)
// over the value.
//
// Keys on the list: Tab moves into the open control and selects its text;
// Space and F2 do so for an enabled property; a printable character opens the
// control and starts the new text. In the edit: Enter returns to the list,
// Escape cancels the edit (the value shows again), Up/Down move to the
// neighbouring row, Tab selects the text. The edit commits when it loses the
// focus, unless it was cancelled or not modified. On the button: a press,
// Space, F2 or F4 asks to browse; Escape commits the unchanged value.
//
// The owner is told through notification(), a direct-connection signal whose
// notice it may veto (ValueChanging, RowClicked). User interface thread only.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

#include "property_model.h"

namespace tarnwick {

enum class PropertyNotification {
    SelectionChanged = -3001,
    // Vetoable: the value stays as it was.
    ValueChanging = -3002,
    ValueChanged = -3003,
    CategoryCollapsed = -3004,
    CategoryExpanded = -3005,
    BrowseRequested = -3006,
    // Vetoable: the click does nothing more.
    RowClicked = -3007,
};

struct PropertyNotice {
    PropertyNotification code;
    // The property or category concerned; kNoProperty when the selection was cleared.
    PropertyId property;
    // ValueChanging: the text about to be stored.
    QString newValue;
    bool veto = false;
};

// The divider keeps this many pixels away from either edge.
inline constexpr int kDividerMargin = 10;
int ClampDivider(int position, int width);

class PropertyList : public QTreeView {
    Q_OBJECT
public:
    explicit PropertyList(QWidget* parent = nullptr);
    ~PropertyList() override;

    PropertyId addCategory(const QString& name);
    PropertyId addItem(const QString& name, PropertyKind kind, const QString& value, bool enabled);
    void setValue(PropertyId id, const QString& value);
    QString value(PropertyId id) const;
    void setItemEnabled(PropertyId id, bool enabled);
    bool isItemEnabled(PropertyId id) const;
    // A refused text makes the list beep and leaves the value as it was.
    void setValidator(PropertyId id, PropertyValidator validator);
    // Closes the in-place control and leaves no row selected.
    void clearCurrentRow();

    PropertyId currentProperty() const;
    // The open in-place control, or nullptr.
    QWidget* inPlaceControl() const;

    // The divider's distance from the list's left edge, kept kDividerMargin
    // inside either edge.
    int dividerPosition() const;
    void setDividerPosition(int position);

signals:
    void notification(tarnwick::PropertyNotice& notice);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool notify(PropertyNotification code, PropertyId property, const QString& newValue = {});
    void openInPlaceControl(PropertyId id);
    void closeInPlaceControl();
    void reopenInPlaceControl();
    // Moves the focus into the open control with its text selected.
    bool activateInPlaceControl();
    void commit(PropertyId id, const QString& text);
    void restoreEditText();
    void requestBrowse();
    void moveSelectionFromControl(int key);
    bool onDivider(const QPoint& position) const;
    bool filterEdit(QEvent* event);
    bool filterButton(QEvent* event);

    PropertyModel model_;
    PropertyId controlProperty_ = kNoProperty;
    QPersistentModelIndex controlIndex_;
    bool draggingDivider_ = false;
    bool dividerMoved_ = false;
};

}  // namespace tarnwick
