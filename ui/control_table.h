// SPDX-License-Identifier: GPL-2.0-or-later
// Windows laid out from a dialog template: a table of controls with their
// kind, text and position in dialog units, made into widgets at once.
//
// Dialog units follow the font the window uses: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth
// of its height. So a window keeps the template's proportions and grows with
// the desktop's font instead of clipping its texts.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <map>
#include <memory>
#include <span>
#include <string_view>

#include "control_ids.h"

namespace tarnwick {

enum class ControlKind {
    GroupBox,
    Label,
    DropDown,
    Button,
    DefaultButton,
    CheckBox,
    ListView,
    // The property list, a widget class of its own.
    PropertyGrid,
    Edit,
    ReadOnlyEdit,
    VerticalLine,
    ProgressBar,
    Icon,
};

// Position and size in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

enum ControlFlag : unsigned { Visible = 0, Hidden = 1u << 0, Disabled = 1u << 1 };

struct ControlRow {
    int id;
    ControlKind kind;
    std::string_view text;
    DialogRect rect;
    unsigned flags = Visible;
};

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    [[nodiscard]] int toPixelsX(int units) const;
    [[nodiscard]] int toPixelsY(int units) const;
    [[nodiscard]] QRect toPixels(const DialogRect& rect) const;
    [[nodiscard]] QSize toPixels(int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// The widgets of one template, children of their window, found by id.
class ControlSet {
public:
    // Makes every row's widget on parent, in table order (group boxes first
    // so that they lie beneath their controls).
    ControlSet(QWidget& parent, std::span<const ControlRow> rows, const DialogUnits& units);

    // The control with that id; nullptr when the template has none.
    [[nodiscard]] QWidget* find(int id) const;
    template <typename Widget>
    [[nodiscard]] Widget* get(int id) const {
        return qobject_cast<Widget*>(find(id));
    }

private:
    // Owned by their window; the ids of static controls are not kept.
    std::map<int, QWidget*> byId_;
};

// A modal or modeless dialog's template.
struct DialogTemplate {
    std::string_view caption;
    // Client area, in dialog units.
    int width;
    int height;
    std::span<const ControlRow> controls;
};

// Gives dialog its caption, the program's icon and its fixed size, and makes
// its controls, in units of the dialog's font.
std::unique_ptr<ControlSet> layOutDialog(QWidget& dialog, const DialogTemplate& layout);

// The id property of a control, kNoId when it has none.
int controlIdOf(const QObject& control);

}  // namespace tarnwick
