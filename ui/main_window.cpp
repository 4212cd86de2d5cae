// SPDX-License-Identifier: GPL-2.0-or-later
#include "main_window.h"

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
#include <QShortcut>
#include <QTreeView>

#include <array>
#include <utility>

#include "about_box.h"
#include "enable_rules.h"
#include "item_list_model.h"
#include "package_box_model.h"
#include "program_icon.h"
#include "qt_package_dialogs.h"
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

// The fields that show what the target reported, by TargetField.
constexpr std::array kFieldIds{IdVersion, IdPlatform, IdBlankCheck, IdChecksum1, IdChecksum2};

constexpr int kItemColumnWidth = 100;

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
      orchestrator_(worker_, port_, sink_, *this, messages_) {
    loadPackageList();
    setWindowTitle(localText(windowCaption(programVersion())));
    setWindowIcon(programIcon());
    layOutControls();
    progress_ = std::make_unique<ProgressWindow>(*this, sink_);
    wireCommands();
    refillPackageBox();
    controls_->get<QCheckBox>(IdSkipVerify)->setChecked(settings_.skipVerify);
    controls_->get<QCheckBox>(IdProgramSelected)->setChecked(settings_.programSelected);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainWindow::~MainWindow() = default;

// Before the first save the settings folder holds no package list; that is
// a first run, not a failure. A folder the user chose must hold one.
void MainWindow::loadPackageList() {
    const std::string folder = settingsStore_.configPath();
    const bool folderChosen = !settingsStore_.readText(kConfigPathValue, "").empty();
    if (folderChosen || std::filesystem::exists(PackageListPath(folder))) {
        LoadPackageList(packages_, folder, messages_);
    }
}

void MainWindow::layOutControls() {
    const QSize full = units_.toPixels(kClientSize.width, kClientSize.height);
    panel_ = new QWidget(this);
    panel_->setGeometry(QRect(QPoint(0, 0), full));
    controls_ = std::make_unique<ControlSet>(*panel_, kControls, units_);
    fullWidth_ = full.width();
    basicWidth_ = units_.toPixelsX(kBasicViewWidth);
    setFixedSize(settings_.expertMode ? fullWidth_ : basicWidth_, full.height());

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
}

void MainWindow::setCommand(int id, std::function<void()> command) {
    buttonCommands_[id] = std::move(command);
}

void MainWindow::dispatch(int id) {
    if (const auto found = buttonCommands_.find(id); found != buttonCommands_.end()) {
        found->second();
    }
}

void MainWindow::runTargetCommand(const std::function<void()>& command) {
    const WaitCursor wait;
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
    const PackageItem* item = selectedItem();
    ShowItemProperties(*propertyList_, propertyRows_, DescribeItem(currentPackage(), item));
    const DestinationTexts destination = DescribeDestination(item);
    const std::pair<int, const std::string&> fields[] = {
        {IdDestinationName, destination.name}, {IdStartAddress, destination.startAddress},
        {IdEndAddress, destination.endAddress}, {IdSize, destination.size},
        {IdBlankCheck, destination.blankCheck}, {IdChecksum1, destination.checksum1},
        {IdChecksum2, destination.checksum2},
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
        attachFirmwareFile();
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

void MainWindow::enableMainWindow(bool enabled) {
    panel_->setEnabled(enabled);
}

void MainWindow::enableConnectButton(bool enabled) {
    control(IdConnect)->setEnabled(enabled);
}

void MainWindow::enableUpdateButton(bool enabled) {
    control(IdUpdateCamera)->setEnabled(enabled);
}

void MainWindow::setConnectCaption(std::string_view caption) {
    controls_->get<QPushButton>(IdConnect)->setText(localText(caption));
}

void MainWindow::showField(TargetField field, std::string_view text) {
    controls_->get<QLineEdit>(kFieldIds[static_cast<std::size_t>(field)])->setText(localText(text));
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
    const bool widen = width() == basicWidth_ && !settings_.expertMode;
    settings_.expertMode = widen;
    setFixedWidth(widen ? fullWidth_ : basicWidth_);
    refreshControls();
}

void MainWindow::showAbout() {
    AboutBox box(this, programVersion());
    box.exec();
}

bool MainWindow::event(QEvent* event) {
    if (std::optional<PostedMessage> message = takeWorkerMessage(*event)) {
        orchestrator_.handle(*message);
        return true;
    }
    return QWidget::event(event);
}

// Linux window managers own the title bar's menu, so the About entry lives
// in the window's own context menu.
void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(kAboutEntry, this, &MainWindow::showAbout);
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
// cannot be pressed then.
bool MainWindow::exitWindow() {
    if (!controlsEnabled()) {
        return false;
    }
    orchestrator_.endLink();
    if (settings_.savePackages || messages_.ask(kSavePackageListQuestion, kProgramCaption, MessageIcon::Question,
                                                 MessageButtons::YesNo) == MessageAnswer::Yes) {
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
