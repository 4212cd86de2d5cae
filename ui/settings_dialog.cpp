// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "serial_port.h"

namespace tarnwick {
namespace {

constexpr ControlRow kControls[] = {
    {kNoId, ControlKind::GroupBox, "COM port...", {6, 6, 204, 42}},
    {kNoId, ControlKind::Label, "Port", {12, 18, 14, 8}},
    {IdPortList, ControlKind::DropDown, "", {12, 30, 48, 66}},
    {kNoId, ControlKind::Label, "Bitrate", {72, 18, 22, 8}},
    {IdBitRateList, ControlKind::DropDown, "", {72, 30, 60, 66}},
    {kNoId, ControlKind::GroupBox, "Configuration file...", {6, 54, 204, 60}},
    {IdSaveList, ControlKind::CheckBox, "Always save file package list", {12, 66, 192, 12}},
    {kNoId, ControlKind::Label, "Path to configuration file", {12, 84, 80, 8}},
    {IdConfigPath, ControlKind::Edit, "", {12, 96, 168, 12}},
    {IdBrowse, ControlKind::Button, "...", {186, 96, 19, 12}},
    {IdOk, ControlKind::DefaultButton, "OK", {90, 120, 50, 14}},
    {IdCancel, ControlKind::Button, "Cancel", {156, 120, 50, 14}},
};

QString localText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The entry carrying the current value, or none when no entry does.
void selectNumber(QComboBox& list, std::uint32_t current) {
    list.setCurrentIndex(list.findData(QVariant::fromValue(current)));
}

// The selected entry's number, or fallback when none is selected.
std::uint32_t selectedNumber(const QComboBox& list, std::uint32_t fallback) {
    return list.currentIndex() < 0 ? fallback : list.currentData().value<std::uint32_t>();
}

constexpr DialogTemplate kTemplate{"Settings", 214, 143, kControls};

}  // namespace

std::optional<std::string> chooseFolderWithDialog(QWidget& owner, const std::string& start) {
    const QString folder = QFileDialog::getExistingDirectory(&owner, kBrowseTitle, localText(start));
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder.toLocal8Bit().toStdString();
}

SettingsDialog::SettingsDialog(QWidget* owner, PortChoice choice, const std::filesystem::path& settingsFile,
                               FolderChooser chooseFolder)
    : QDialog(owner), choice_(choice), store_(settingsFile), chooseFolder_(std::move(chooseFolder)) {
    controls_ = layOutDialog(*this, kTemplate);

    fillPorts();
    fillBitRates();
    controls_->get<QCheckBox>(IdSaveList)->setChecked(choice_.saveList);
    configPath_ = store_.configPath();
    controls_->get<QLineEdit>(IdConfigPath)->setText(localText(configPath_));

    connect(controls_->get<QPushButton>(IdBrowse), &QPushButton::clicked, this, &SettingsDialog::browse);
    connect(controls_->get<QPushButton>(IdOk), &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(controls_->get<QPushButton>(IdCancel), &QPushButton::clicked, this, &SettingsDialog::reject);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::fillPorts() {
    auto& list = *controls_->get<QComboBox>(IdPortList);
    std::vector<int> ports;
    enumeratePorts(ports);
    for (const int port : ports) {
        list.addItem(QString("COM%1").arg(port), QVariant::fromValue(static_cast<std::uint32_t>(port)));
        // A Linux user knows the device, not its number; aliases are
        // followed to it.
        if (const std::optional<std::filesystem::path> device = resolvedPortDevice(port)) {
            list.setItemData(list.count() - 1, localText(device->string()), Qt::ToolTipRole);
        }
    }
    selectNumber(list, choice_.port);
}

void SettingsDialog::fillBitRates() {
    auto& list = *controls_->get<QComboBox>(IdBitRateList);
    for (const std::uint32_t rate : kOfferedBitRates) {
        list.addItem(QString("%1 bps").arg(rate), QVariant::fromValue(rate));
    }
    selectNumber(list, choice_.bitRate);
}

void SettingsDialog::browse() {
    if (std::optional<std::string> folder = chooseFolder_(*this, configPath_)) {
        configPath_ = std::move(*folder);
        controls_->get<QLineEdit>(IdConfigPath)->setText(localText(configPath_));
    }
}

void SettingsDialog::accept() {
    choice_.port = selectedNumber(*controls_->get<QComboBox>(IdPortList), choice_.port);
    choice_.bitRate = selectedNumber(*controls_->get<QComboBox>(IdBitRateList), choice_.bitRate);
    choice_.saveList = controls_->get<QCheckBox>(IdSaveList)->isChecked();
    // A failed write keeps the old value; the dialog closes all the same.
    (void)store_.writeText(kConfigPathValue, configPath_);
    QDialog::accept();
}

}  // namespace tarnwick
