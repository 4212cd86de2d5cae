// SPDX-License-Identifier: GPL-2.0-or-later
// The property list of the window's item view: the category "Item
// properties" with the six properties of the selected item.
#pragma once

#include "item_properties.h"
#include "property_list.h"

namespace tarnwick {

struct ItemPropertyRows {
    PropertyId category;
    PropertyId name;
    PropertyId cameraType;
    PropertyId version;
    PropertyId file;
    PropertyId fileSize;
    PropertyId fileDate;
};

// Appends the category and its properties in order. "Version" refuses a text
// that ParseEditedVersion cannot read.
ItemPropertyRows AddItemPropertyRows(PropertyList& list);

// Shows the texts and enables "Version" and "File" as texts.editable says.
void ShowItemProperties(PropertyList& list, const ItemPropertyRows& rows, const ItemPropertyTexts& texts);

}  // namespace tarnwick
