// SPDX-License-Identifier: GPL-2.0-or-later
// The modal "Settings" dialog: serial port, bit rate, whether the package
// list is saved without asking, and the folder of the package list file.
//
// Port, bit rate and the save flag go in and, on OK, come back out; the
// caller stores them. The folder is the dialog's own business: it shows
// ConfigPath (or, while unset, the settings folder) and writes the folder it
// showed as ConfigPath on OK. Text typed into the folder field is not read
// back; only "..." changes the folder. Cancel writes nothing.
#pragma once

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control_table.h"
#include "settings_store.h"

namespace tarnwick {

struct PortChoice {
    std::uint32_t port = 0;
    std::uint32_t bitRate = 0;
    bool saveList = false;

    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

inline constexpr char kBrowseTitle[] = "Save configuration data to...";

// Asks for a folder, starting at start; nothing when the user cancels.
using FolderChooser = std::function<std::optional<std::string>(QWidget& owner, const std::string& start)>;

// The platform's folder chooser.
std::optional<std::string> chooseFolderWithDialog(QWidget& owner, const std::string& start);

class SettingsDialog final : public QDialog {
    Q_OBJECT

public:
    // settingsFile is opened by the dialog itself, as a store of its own.
    SettingsDialog(QWidget* owner, PortChoice choice, const std::filesystem::path& settingsFile,
                   FolderChooser chooseFolder = chooseFolderWithDialog);
    ~SettingsDialog() override;

    // The values as they went in, or as OK took them.
    [[nodiscard]] const PortChoice& choice() const { return choice_; }

    void accept() override;

private:
    void fillPorts();
    void fillBitRates();
    void browse();

    PortChoice choice_;
    SettingsStore store_;
    FolderChooser chooseFolder_;
    std::string configPath_;
    std::unique_ptr<ControlSet> controls_;
};

}  // namespace tarnwick
