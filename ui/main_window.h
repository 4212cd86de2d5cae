// SPDX-License-Identifier: GPL-2.0-or-later
// The main window: a fixed-size window laid out from its template, in the
// basic view (cut at the dividing line) or the advanced one with the
// destination panel, as the ExpertMode setting chose at start-up. Where the
// screen it opens on is too small for it, it is laid out in a smaller font,
// and past the smallest readable one its contents scroll.
//
// It owns the package list, the serial port, the worker and the update
// orchestration. The worker's messages arrive as posted events and are handed
// to the orchestrator on this thread; the widgets only show and forward.
// Enable states come from enabledControls(). Buttons run the command set for
// their id (setCommand), so commands can be added without touching the
// dispatch. The package commands, the package box's selection, the item list
// and the item's texts come from PackageCommands, ItemListModel and the item
// property functions; the window passes their results on to the widgets.
//
// User interface thread only. Errors reach the user in the system's own
// texts through UserMessages (message boxes, or a test's answers); nothing
// the window runs throws out of its event handlers.
#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "camera_backup.h"
#include "control_table.h"
#include "focus_return.h"
#include "item_property_view.h"
#include "package_commands.h"
#include "package_store.h"
#include "progress_window.h"
#include "serial_port.h"
#include "settings_dialog.h"
#include "settings_store.h"
#include "update_orchestrator.h"
#include "window_history.h"
#include "worker.h"
#include "worker_events.h"

class QAction;
class QModelIndex;

namespace tarnwick {

class ItemListModel;
class PackageBoxModel;

inline constexpr char kAboutEntry[] = "&About Tarnwick...";
inline constexpr char kBackupEntry[] = "&Back up camera...";
inline constexpr char kSavePackageListQuestion[] = "Save package list?";

struct MainWindowOptions {
    std::filesystem::path settingsFile = SettingsStore::DefaultFile();
    WorkerTimings timings;
    FolderChooser chooseFolder = chooseFolderWithDialog;
    // The package commands' dialogs; nullptr shows the window's own. Must
    // outlive the window.
    PackageDialogs* packageDialogs = nullptr;
};

class MainWindow final : public QWidget, public OrchestrationView {
    Q_OBJECT

public:
    // Reads the settings and the package list and lays out the view; shown by
    // the caller. messages outlives the window.
    explicit MainWindow(UserMessages& messages, MainWindowOptions options = {});
    ~MainWindow() override;

    // The control with that template id; nullptr when none.
    [[nodiscard]] QWidget* control(int id) const { return controls_->find(id); }
    [[nodiscard]] ProgressWindow& progressWindow() const { return *progress_; }
    [[nodiscard]] const UpdateOrchestrator& orchestrator() const { return orchestrator_; }
    [[nodiscard]] const CameraBackup& backup() const { return backup_; }
    // The context menu's "&Back up camera...", enabled as the menu opens.
    [[nodiscard]] QAction& backupAction() const { return *backupAction_; }
    // False while a job run has disabled the window.
    [[nodiscard]] bool controlsEnabled() const;

    // The package list. After changing it, refill the package box.
    PackageStore& packages() { return packages_; }
    // Rebuilds the sorted package box from the list, selects the package
    // named by LastPackage (or the one added last) and shows its items.
    void refillPackageBox();

    // What a click on the button with that id does; replaces its command.
    void setCommand(int id, std::function<void()> command);

    // OrchestrationView
    CommandSettings readSettings() override;
    Package* currentPackage() override;
    PackageItem* selectedItem() override;
    bool advancedView() override { return settings_.expertMode; }
    void enableMainWindow(bool enabled) override;
    void enableConnectButton(bool enabled) override;
    void enableUpdateButton(bool enabled) override;
    void setConnectCaption(std::string_view caption) override;
    void showField(TargetField field, std::string_view text) override;
    void showProgress(const ProgressDisplay& progress) override;
    void refreshControls() override;
    void showOutcome(std::string_view text) override;

signals:
    // The exit path has run; the program ends with this code.
    void exited(int exitCode);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void loadPackageList();
    void layOutControls();
    void wireCommands();
    void dispatch(int id);
    void runTargetCommand(const std::function<void()>& command);
    void returnFocusAfterRun();
    void showChange(PackageChange change);
    void showPackageBox();
    void onPackageSelected(int entry);
    void onItemSelectionChanged(const QModelIndex& current);
    void onPropertyNotice(PropertyNotice& notice);
    void editVersion();
    void attachFirmwareFile();
    void fillItemList();
    void showItem();
    void showDestination();
    void runSettingsDialog();
    void toggleView();
    // The client area for a view of that size: all of it where the screen's
    // free area holds it, else what the area leaves; centred in the area.
    [[nodiscard]] QRect fittedGeometry(QSize view) const;
    void fitFontToScreen();
    void sizeToView();
    void showAbout();
    void backUpCamera();
    void passToBackup(const PostedMessage& message);
    void showBackupWritten();
    bool exitWindow();

    UserMessages& messages_;
    FolderChooser chooseFolder_;
    SettingsStore settingsStore_;
    Settings settings_;
    PackageStore packages_;
    std::unique_ptr<PackageDialogs> ownDialogs_;
    PackageCommands commands_;
    DialogUnits units_;

    // Children of the window, which owns them.
    QWidget* panel_ = nullptr;
    PackageBoxModel* boxModel_ = nullptr;
    ItemListModel* itemModel_ = nullptr;
    std::unique_ptr<ControlSet> controls_;
    PropertyList* propertyList_ = nullptr;
    ItemPropertyRows propertyRows_{};
    std::map<int, std::function<void()>> buttonCommands_;
    QAction* backupAction_ = nullptr;
    // Where the focus was when a job run disabled the window.
    std::optional<FocusReturn> runFocus_;
    int itemRow_ = -1;
    bool exited_ = false;

    // The worker's thread posts through the sink and talks through the port,
    // so both outlive it; the orchestrator drives all three.
    PostingSink sink_{*this};
    SerialPort port_;
    Worker worker_;
    UpdateOrchestrator orchestrator_;
    CameraBackup backup_;
    std::unique_ptr<ProgressWindow> progress_;
    WindowRunRecorder history_{DefaultHistoryFile(), messages_};
};

}  // namespace tarnwick
