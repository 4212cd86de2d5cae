// SPDX-License-Identifier: GPL-2.0-or-later
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "about_box.h"
#include "enable_rules.h"
#include "item_list_model.h"
#include "package_box_model.h"
#include "program_icon.h"
#include "qt_package_dialogs.h"
#include "screen_fit.h"
#include "version_record.h"

namespace tarnwick {
namespace {

// The template's 282 units and a row below them for the outcome line.
constexpr DialogRect kClientSize{0, 0, 460, 300};
// The basic view ends at the dividing line's right edge.
constexpr int kBasicViewWidth = 318 + 1;

using enum ControlKind;

constexpr ControlRow kControls[] = {
    {kNoId, GroupBox, "File packages", {6, 6, 306, 198}},
    {kNoId, Label, "Package name:", {12, 18, 60, 12}},
    {IdPackageBox, DropDown, "", {78, 18, 96, 198}},
    {IdNewPackage, Button, "&New", {186, 18, 36, 12}},
    {IdDeletePackage, Button, "&Delete", {228, 18, 36, 12}},
    {IdLoadPackage, Button, "&Load", {270, 18, 36, 12}},
    {IdViewToggle, Button, "Advanced >>", {186, 36, 66, 14}, Hidden},
    {kNoId, Label, "Package items:", {12, 42, 60, 10}},
    {IdItemList, ListView, "", {12, 54, 294, 48}},
    {IdAddItem, Button, "Add item", {12, 108, 48, 12}},
    {IdDeleteItem, Button, "Del item", {72, 108, 48, 12}},
    {IdDetachFile, Button, "Detach file", {132, 108, 60, 12}},
    {IdProgramSelected, CheckBox, "Program selected item only", {204, 108, 102, 12}, Hidden},
    {IdPropertyList, PropertyGrid, "", {12, 126, 294, 72}},
    {kNoId, GroupBox, "Target info...", {6, 210, 306, 48}},
    {kNoId, Label, "Version:", {18, 223, 48, 12}},
    {IdVersion, ReadOnlyEdit, "", {78, 222, 228, 12}},
    {kNoId, Label, "Platform:", {18, 239, 48, 12}},
    {IdPlatform, ReadOnlyEdit, "", {78, 240, 228, 12}},
    {IdSettings, Button, "&Settings...", {12, 263, 66, 14}},
    {IdExit, Button, "Exit", {126, 264, 66, 14}},
    {IdUpdateCamera, Button, "&Update camera...", {240, 263, 66, 14}, Disabled},
    {IdDividingLine, VerticalLine, "", {318, 0, 1, 276}},
    {kNoId, GroupBox, "Destination...", {324, 6, 132, 192}},
    {kNoId, Label, "Name", {330, 18, 60, 8}},
    {IdDestinationName, ReadOnlyEdit, "", {330, 30, 120, 12}},
    {kNoId, Label, "Start address", {330, 48, 60, 8}},
    {IdStartAddress, ReadOnlyEdit, "", {330, 60, 54, 12}},
    {kNoId, Label, "End address", {330, 78, 60, 8}},
    {IdEndAddress, ReadOnlyEdit, "", {330, 90, 54, 12}},
    {kNoId, Label, "Size", {330, 108, 60, 8}},
    {IdSize, ReadOnlyEdit, "", {330, 120, 90, 12}},
    {kNoId, Label, "Bytes", {424, 122, 26, 8}},
    {kNoId, Label, "Blank check", {330, 138, 60, 8}},
    {IdBlankCheck, ReadOnlyEdit, "", {330, 150, 54, 12}},
    {kNoId, Label, "Checksum", {330, 168, 60, 8}},
    {IdChecksum1, ReadOnlyEdit, "", {330, 180, 54, 12}},
    {IdChecksum2, ReadOnlyEdit, "", {396, 180, 54, 12}},
    {IdEraseAndProgram, Button, "Erase && Program...", {330, 204, 120, 14}, Disabled},
    {IdSkipVerify, CheckBox, "Skip program verification", {342, 222, 96, 12}},
    {IdErase, Button, "Erase", {330, 240, 54, 14}, Disabled},
    {IdUpdateInfo, Button, "Update info", {396, 240, 54, 14}, Disabled},
    {IdConnect, Button, "&Connect...", {330, 264, 120, 14}},
    {IdOutcome, Label, "", {12, 282, 294, 16}},
};

constexpr int kItemColumnWidth = 100;

// How far the window's font may shrink to fit the screen: text below 7
// points on the screen's own pixels is hard to read, and below two thirds of
// the desktop's font the style's fixed sizes (scroll bars, indentation, check
// marks) crowd the controls. Past that the window scrolls.
constexpr qreal kSmallestReadablePoints = 7.0;
constexpr qreal kSmallestFontShare = 2.0 / 3.0;
constexpr qreal kFontStep = 0.25;

// The view in use: the whole template, or in the basic view the template cut
// at the dividing line.
QSize viewSize(const DialogUnits& units, bool expertMode) {
    return units.toPixels(expertMode ? kClientSize.width : kBasicViewWidth, kClientSize.height);
}

QString localText(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// Long steps of the user interface show the wait cursor while they run.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

MainWindow::MainWindow(UserMessages& messages, MainWindowOptions options)
    : messages_(messages),
      chooseFolder_(std::move(options.chooseFolder)),
      settingsStore_(std::move(options.settingsFile)),
      settings_(settingsStore_.load()),
      ownDialogs_(options.packageDialogs != nullptr ? nullptr : std::make_unique<QtPackageDialogs>(this)),
      commands_(packages_, options.packageDialogs != nullptr ? *options.packageDialogs : *ownDialogs_, messages_,
                settings_.lastPackage),
      units_(font()),
      worker_(options.timings),
      orchestrator_(worker_, port_, sink_, *this, messages_),
      backup_(worker_, orchestrator_, *this, messages_) {
    loadPackageList();
    setWindowTitle(localText(windowCaption(programVersion())));
    setWindowIcon(programIcon());
    fitFontToScreen();
    layOutControls();
    progress_ = std::make_unique<ProgressWindow>(*this, sink_);
    wireCommands();
    refillPackageBox();
    controls_->get<QCheckBox>(IdSkipVerify)->setChecked(settings_.skipVerify);
    controls_->get<QCheckBox>(IdProgramSelected)->setChecked(settings_.programSelected);
    setGeometry(fittedGeometry(panel_->size()));
}

MainWindow::~MainWindow() = default;

// Before the first save the settings folder holds no package list; that is
// a first run, not a failure. A folder the user chose must hold one.
void MainWindow::loadPackageList() {
    const bool folderChosen = !settingsStore_.readText(kConfigPathValue, "").empty();
    LoadPackageList(packages_, settingsStore_.configPath(), messages_,
                    folderChosen ? MissingList::Reported : MissingList::Quiet);
}

// The controls lie on a panel of the template's size in a scroll area, which
// scrolls only where the screen is too small for the whole window.
void MainWindow::layOutControls() {
    auto* scrollArea = new QScrollArea(this);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setFocusPolicy(Qt::NoFocus);
    panel_ = new QWidget(scrollArea);
    controls_ = std::make_unique<ControlSet>(*panel_, kControls, units_);
    scrollArea->setWidget(panel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);
    sizeToView();

    boxModel_ = new PackageBoxModel(commands_, this);
    controls_->get<QComboBox>(IdPackageBox)->setModel(boxModel_);
    itemModel_ = new ItemListModel(this);
    auto* itemList = controls_->get<QTreeView>(IdItemList);
    itemList->setModel(itemModel_);
    itemList->header()->setDefaultSectionSize(kItemColumnWidth);
    propertyList_ = controls_->get<PropertyList>(IdPropertyList);
    propertyRows_ = AddItemPropertyRows(*propertyList_);
    // Two lines, so that it fits the basic view too.
    controls_->get<QLabel>(IdOutcome)->setWordWrap(true);
}

void MainWindow::wireCommands() {
    setCommand(IdConnect, [this] { runTargetCommand([this] { orchestrator_.connectOrDisconnect(); }); });
    setCommand(IdUpdateCamera, [this] { runTargetCommand([this] { orchestrator_.startUpdate(); }); });
    setCommand(IdUpdateInfo, [this] { runTargetCommand([this] { orchestrator_.updateInfo(); }); });
    setCommand(IdErase, [this] { runTargetCommand([this] { orchestrator_.erase(); }); });
    setCommand(IdEraseAndProgram, [this] { runTargetCommand([this] { orchestrator_.eraseAndProgram(); }); });
    setCommand(IdSettings, [this] { runSettingsDialog(); });
    setCommand(IdViewToggle, [this] { toggleView(); });
    setCommand(IdExit, [this] { close(); });
    setCommand(IdNewPackage, [this] { showChange(commands_.newPackage()); });
    setCommand(IdLoadPackage, [this] { showChange(commands_.loadPackage()); });
    setCommand(IdDeletePackage, [this] { showChange(commands_.deletePackage()); });
    setCommand(IdAddItem, [this] { showChange(commands_.addItem()); });
    setCommand(IdDeleteItem, [this] { showChange(commands_.deleteItem(selectedItem())); });
    setCommand(IdDetachFile, [this] { showChange(commands_.detachFile(selectedItem())); });

    for (QPushButton* button : panel_->findChildren<QPushButton*>()) {
        const int id = controlIdOf(*button);
        connect(button, &QPushButton::clicked, this, [this, id] { dispatch(id); });
    }
    connect(controls_->get<QComboBox>(IdPackageBox), &QComboBox::currentIndexChanged, this,
            &MainWindow::onPackageSelected);
    connect(controls_->get<QTreeView>(IdItemList)->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &MainWindow::onItemSelectionChanged);
    // Direct, so that a veto reaches the list before it goes on.
    connect(propertyList_, &PropertyList::notification, this, &MainWindow::onPropertyNotice, Qt::DirectConnection);
    connect(new QShortcut(Qt::Key_F1, this), &QShortcut::activated, this, &MainWindow::showAbout);
    backupAction_ = new QAction(kBackupEntry, this);
    connect(backupAction_, &QAction::triggered, this, &MainWindow::backUpCamera);
}

void MainWindow::setCommand(int id, std::function<void()> command) {
    buttonCommands_[id] = std::move(command);
}

void MainWindow::dispatch(int id) {
    if (const auto found = buttonCommands_.find(id); found != buttonCommands_.end()) {
        FocusReturn focus(*this);
        found->second();
        if (controlsEnabled()) {
            focus.restore();
        } else {
            // The command started a run; its controls may have moved the
            // focus before the run disabled the window.
            runFocus_ = std::move(focus);
        }
    }
}

void MainWindow::runTargetCommand(const std::function<void()>& command) {
    const WaitCursor wait;
    history_.commandStarted();
    command();
}

bool MainWindow::controlsEnabled() const {
    return panel_->isEnabled();
}

void MainWindow::refillPackageBox() {
    commands_.refillPackageBox();
    showPackageBox();
}

void MainWindow::showChange(PackageChange change) {
    switch (change) {
    case PackageChange::None:
        return;
    case PackageChange::Items: {
        const WaitCursor wait;
        fillItemList();
        showItem();
        refreshControls();
        return;
    }
    case PackageChange::PackageBox:
        showPackageBox();
        return;
    }
}

// The box's entries are the commands'; the box only mirrors their selection.
void MainWindow::showPackageBox() {
    auto& box = *controls_->get<QComboBox>(IdPackageBox);
    {
        const QSignalBlocker quiet(box);
        boxModel_->refresh();
        box.setCurrentIndex(commands_.selectedEntry());
    }
    onPackageSelected(commands_.selectedEntry());
}

void MainWindow::onPackageSelected(int entry) {
    const WaitCursor wait;
    commands_.selectEntry(entry);
    fillItemList();
    showItem();
    refreshControls();
}

// Re-selecting the previous row raises the item selection change, which
// sets itemRow.
void MainWindow::fillItemList() {
    itemModel_->setPackage(currentPackage());
    if (itemModel_->package() == nullptr) {
        return;
    }
    auto* itemList = controls_->get<QTreeView>(IdItemList);
    if (itemModel_->rowCount() > 0) {
        itemList->resizeColumnToContents(ItemListModel::NameColumn);
        itemList->resizeColumnToContents(ItemListModel::VersionColumn);
    }
    itemRow_ = ReselectRow(*itemList, itemRow_);
}

void MainWindow::showItem() {
    ShowItemProperties(*propertyList_, propertyRows_, DescribeItem(currentPackage(), selectedItem()));
    showDestination();
}

void MainWindow::showDestination() {
    const DestinationTexts destination = DescribeDestination(selectedItem(), orchestrator_.regionReadings());
    const std::pair<int, const std::string&> fields[] = {
        {IdDestinationName, destination.name}, {IdStartAddress, destination.startAddress},
        {IdEndAddress, destination.endAddress}, {IdSize, destination.size},
        {IdBlankCheck, destination.read.blankCheck}, {IdChecksum1, destination.read.checksum1},
        {IdChecksum2, destination.read.checksum2},
    };
    for (const auto& [id, text] : fields) {
        controls_->get<QLineEdit>(id)->setText(localText(text));
    }
}

void MainWindow::onItemSelectionChanged(const QModelIndex& current) {
    const WaitCursor wait;
    itemRow_ = current.isValid() ? current.row() : -1;
    showItem();
    refreshControls();
    orchestrator_.updateInfo();
}

void MainWindow::onPropertyNotice(PropertyNotice& notice) {
    if (notice.code == PropertyNotification::ValueChanged && notice.property == propertyRows_.version) {
        editVersion();
    } else if (notice.code == PropertyNotification::BrowseRequested) {
        // Showing the file closes the "..." button; the list takes the focus.
        const FocusReturn focus(*this);
        attachFirmwareFile();
        focus.restore();
    }
}

// The list's validator has refused what SetEditedVersion cannot read.
void MainWindow::editVersion() {
    PackageItem* item = selectedItem();
    if (item == nullptr) {
        return;
    }
    const WaitCursor wait;
    SetEditedVersion(*item, propertyList_->value(propertyRows_.version).toStdString());
    fillItemList();
    showItem();
}

void MainWindow::attachFirmwareFile() {
    PackageItem* item = selectedItem();
    const std::optional<std::string> path =
        commands_.attachFirmwareFile(item, propertyList_->value(propertyRows_.file).toStdString());
    if (!path) {
        return;
    }
    const WaitCursor wait;
    propertyList_->setValue(propertyRows_.file, QString::fromStdString(*path));
    if (item != nullptr) {
        fillItemList();
        showItem();
    }
}

CommandSettings MainWindow::readSettings() {
    settings_.skipVerify = controls_->get<QCheckBox>(IdSkipVerify)->isChecked();
    settings_.programSelected = controls_->get<QCheckBox>(IdProgramSelected)->isChecked();
    return {settings_.comPort, settings_.comBps, settings_.skipVerify};
}

Package* MainWindow::currentPackage() {
    return commands_.selectedPackage();
}

// The item named by the "Name" cell of the selected row.
PackageItem* MainWindow::selectedItem() {
    Package* package = currentPackage();
    if (package == nullptr || itemRow_ < 0) {
        return nullptr;
    }
    return package->FindItemByTypeName(itemModel_->typeNameAt(itemRow_).toStdString());
}

// A job run takes the focus from the disabled controls; it comes back after.
void MainWindow::enableMainWindow(bool enabled) {
    if (enabled == panel_->isEnabled()) {
        return;
    }
    if (!enabled) {
        runFocus_.emplace(*this);
    }
    panel_->setEnabled(enabled);
    returnFocusAfterRun();
}

// The control may come back only with the link controls after the run, as
// "&Update camera..." does at the end of an update, so the focus returns once
// the message at hand is handled; it is tried again after each until the
// control takes it or the update sequence is over.
void MainWindow::returnFocusAfterRun() {
    if (!runFocus_) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!runFocus_ || !controlsEnabled()) {
                return;
            }
            if (runFocus_->restore() || orchestrator_.updateState() == UpdateState::Idle) {
                runFocus_.reset();
            }
        },
        Qt::QueuedConnection);
}

void MainWindow::enableConnectButton(bool enabled) {
    control(IdConnect)->setEnabled(enabled);
}

void MainWindow::enableUpdateButton(bool enabled) {
    control(IdUpdateCamera)->setEnabled(enabled);
}

// Both captions keep Alt+C, the key of the template's "&Connect...".
void MainWindow::setConnectCaption(std::string_view caption) {
    QString text = localText(caption);
    if (caption == kConnectCaption) {
        text = QStringLiteral("&Connect...");
    } else if (caption == kDisconnectCaption) {
        text = QStringLiteral("Dis&connect...");
    }
    controls_->get<QPushButton>(IdConnect)->setText(text);
}

// A value read from a region is the orchestrator's to keep with its region;
// the destination fields show those of the selected item's region.
void MainWindow::showField(TargetField field, std::string_view text) {
    if (field == TargetField::Version || field == TargetField::Platform) {
        controls_->get<QLineEdit>(field == TargetField::Version ? IdVersion : IdPlatform)->setText(localText(text));
    } else {
        showDestination();
    }
}

void MainWindow::showProgress(const ProgressDisplay& progress) {
    progress_->apply(progress);
}

// Two lines hold the usual texts; one that names a long path is whole in
// its tooltip.
void MainWindow::showOutcome(std::string_view text) {
    auto* outcome = controls_->get<QLabel>(IdOutcome);
    outcome->setText(localText(text));
    outcome->setToolTip(localText(text));
}

void MainWindow::refreshControls() {
    ControlFacts facts;
    facts.packageCount = packages_.size();
    facts.package = currentPackage();
    facts.item = selectedItem();
    facts.connected = orchestrator_.connected();
    facts.cameraPlatform = worker_.targetInfo().flash.platform();
    for (const ControlEnable& rule : enabledControls(facts)) {
        control(rule.id)->setEnabled(rule.enabled);
    }
    if (itemRow_ == -1) {
        propertyList_->clearCurrentRow();
    }
    controls_->get<QPushButton>(IdViewToggle)->setText(settings_.expertMode ? "Basic <<" : "Advanced >>");
    returnFocusAfterRun();
}

void MainWindow::runSettingsDialog() {
    SettingsDialog dialog(this, {settings_.comPort, settings_.comBps, settings_.savePackages}, settingsStore_.file(),
                          chooseFolder_);
    if (dialog.exec() == QDialog::Accepted) {
        settings_.comPort = dialog.choice().port;
        settings_.comBps = dialog.choice().bitRate;
        settings_.savePackages = dialog.choice().saveList;
    }
}

// Left, top and height stay; only the width changes.
void MainWindow::toggleView() {
    const bool widen = panel_->width() == viewSize(units_, false).width() && !settings_.expertMode;
    settings_.expertMode = widen;
    sizeToView();
    refreshControls();
}

// The window's frame is the window manager's and unknown before the window
// is shown; the style's title bar and frame stand in for it.
QRect MainWindow::fittedGeometry(QSize view) const {
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const QMargins frame(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
    return FitOnScreen(view, screen()->availableGeometry(), frame, style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

// A template that the screen's free area cannot hold at the desktop's font
// is laid out in a smaller one, as long as its text stays readable.
void MainWindow::fitFontToScreen() {
    const auto fits = [this] {
        const QSize view = viewSize(units_, settings_.expertMode);
        return fittedGeometry(view).size() == view;
    };
    QFont smaller = font();
    const qreal smallest = std::max(kSmallestReadablePoints / screen()->devicePixelRatio(),
                                    kSmallestFontShare * smaller.pointSizeF());
    while (!fits() && smaller.pointSizeF() - kFontStep >= smallest) {
        smaller.setPointSizeF(smaller.pointSizeF() - kFontStep);
        setFont(smaller);
        units_ = DialogUnits(smaller);
    }
}

void MainWindow::sizeToView() {
    panel_->setFixedSize(viewSize(units_, settings_.expertMode));
    setFixedSize(fittedGeometry(panel_->size()).size());
}

void MainWindow::showAbout() {
    AboutBox box(this, programVersion());
    box.exec();
}

// The file dialog has asked before an existing file may be replaced.
void MainWindow::backUpCamera() {
    const std::optional<std::string> file = commands_.chooseBackupFile();
    if (!file) {
        return;
    }
    const WaitCursor wait;
    history_.commandStarted();
    backup_.start(BackupRequest{*file, true, {}, false});
}

void MainWindow::passToBackup(const PostedMessage& message) {
    if (!backup_.running()) {
        return;
    }
    // Progress comes often and costs nothing; the last message packs and writes.
    std::optional<WaitCursor> wait;
    if (message.message != Message::MsgProgress) {
        wait.emplace();
    }
    backup_.handle(message);
    if (backup_.running()) {
        return;
    }
    const bool written = backup_.ending() == BackupEnding::Written;
    history_.backupEnded(written, worker_.targetInfo(), {settings_.comPort, settings_.comBps, settings_.skipVerify});
    if (written) {
        showBackupWritten();
    }
}

// The new package, selected, then what the backup found in each region.
void MainWindow::showBackupWritten() {
    const std::filesystem::path& file = backup_.request().file;
    showChange(commands_.showWrittenPackage(file.string()));
    std::string text = BackupWrittenText(file) + "\n";
    for (const BackupRegion& region : backup_.regions()) {
        text += "\n" + BackupRegionText(region);
    }
    messages_.showMessage(text, kProgramCaption, MessageIcon::Information);
}

bool MainWindow::event(QEvent* event) {
    if (std::optional<PostedMessage> message = takeWorkerMessage(*event)) {
        // The closing commands run as a job run too; only a command's run is recorded.
        const bool endsCommandRun = message->message == Message::MsgJobsDone && orchestrator_.runPending();
        orchestrator_.handle(*message);
        passToBackup(*message);
        if (endsCommandRun) {
            history_.runEnded(orchestrator_, worker_.targetInfo(), currentPackage(),
                              {settings_.comPort, settings_.comBps, settings_.skipVerify});
        }
        return true;
    }
    return QWidget::event(event);
}

// Linux window managers own the title bar's menu, so the About entry lives
// in the window's own context menu, the backup and the history below it.
void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(kAboutEntry, this, &MainWindow::showAbout);
    backupAction_->setEnabled(controlsEnabled() && backup_.canStart() && commands_.canAddPackages());
    menu.addAction(backupAction_);
    menu.addAction(kHistoryEntry, this, [this] { ShowHistory(this, DefaultHistoryFile(), messages_); });
    menu.exec(event->globalPos());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (exited_ || exitWindow()) {
        event->accept();
    } else {
        event->ignore();
    }
}

// A window disabled by a job run cannot be closed, as the Exit button
// cannot be pressed then. The question comes before the link ends, so that
// backing out of it (Escape, the close box) leaves everything as it was.
bool MainWindow::exitWindow() {
    if (!controlsEnabled()) {
        return false;
    }
    bool save = settings_.savePackages;
    if (!save) {
        const MessageAnswer answer =
            messages_.ask(kSavePackageListQuestion, kProgramCaption, MessageIcon::Question, MessageButtons::YesNo);
        if (answer == MessageAnswer::Cancel) {
            return false;
        }
        save = answer == MessageAnswer::Yes;
    }
    orchestrator_.endLink();
    if (save) {
        SavePackageList(packages_, settingsStore_.configPath(), messages_);
    }
    const Package* package = currentPackage();
    settings_.lastPackage = package != nullptr ? package->name() : std::string();
    readSettings();
    (void)settingsStore_.save(settings_);
    progress_->hide();
    exited_ = true;
    emit exited(IdExit);
    return true;
}

}  // namespace tarnwick
