// SPDX-License-Identifier: GPL-2.0-or-later
#include "item_property_view.h"

namespace tarnwick {
namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ItemPropertyRows AddItemPropertyRows(PropertyList& list) {
    ItemPropertyRows rows{};
    rows.category = list.addCategory(QStringLiteral("Item properties"));
    rows.name = list.addItem(QStringLiteral("Name"), PropertyKind::ReadOnlyText, {}, false);
    rows.cameraType = list.addItem(QStringLiteral("Camera type"), PropertyKind::EditableText, {}, false);
    rows.version = list.addItem(QStringLiteral("Version"), PropertyKind::EditableText, {}, true);
    rows.file = list.addItem(QStringLiteral("File"), PropertyKind::FileName, {}, true);
    rows.fileSize = list.addItem(QStringLiteral("Filesize"), PropertyKind::ReadOnlyText, Text(kNoFileSizeText), false);
    rows.fileDate = list.addItem(QStringLiteral("Filedate"), PropertyKind::ReadOnlyText, {}, false);
    list.setValidator(rows.version,
                      [](const QString& text) { return ParseEditedVersion(text.toStdString()).has_value(); });
    return rows;
}

void ShowItemProperties(PropertyList& list, const ItemPropertyRows& rows, const ItemPropertyTexts& texts) {
    list.setValue(rows.name, Text(texts.name));
    list.setValue(rows.cameraType, Text(texts.cameraType));
    list.setValue(rows.version, Text(texts.version));
    list.setValue(rows.file, Text(texts.file));
    list.setValue(rows.fileSize, Text(texts.fileProperties.fileSize));
    list.setValue(rows.fileDate, Text(texts.fileProperties.fileDate));
    list.setItemEnabled(rows.version, texts.editable);
    list.setItemEnabled(rows.file, texts.editable);
}

}  // namespace tarnwick
