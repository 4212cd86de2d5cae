#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <utility>

#include "about_box.h"
#include "enable_rules.h"
#include "program_icon.h"
#include "version_record.h"

namespace tarnwick {
namespace {

constexpr DialogRect kClientSize{0, 0, 460, 282};
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
    {IdPropertyList, TreeView, "", {12, 126, 294, 72}},
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
};

// The fields that show what the target reported, by TargetField.
constexpr std::array kFieldIds{IdVersion, IdPlatform, IdBlankCheck, IdChecksum1, IdChecksum2};

constexpr std::array<const char*, 3> kItemColumns{"Name", "Version", "File"};
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

// Where a name goes in a box sorted without regard to case.
int sortedPosition(const QComboBox& box, const QString& name) {
    int position = 0;
    while (position < box.count() && box.itemText(position).compare(name, Qt::CaseInsensitive) <= 0) {
        ++position;
    }
    return position;
}

}  // namespace

MainWindow::MainWindow(UserMessages& messages, MainWindowOptions options)
    : messages_(messages),
      chooseFolder_(std::move(options.chooseFolder)),
      settingsStore_(std::move(options.settingsFile)),
      settings_(settingsStore_.load()),
      units_(font()),
      worker_(options.timings),
      orchestrator_(worker_, port_, sink_, *this, messages_) {
    loadPackageList();
    setWindowTitle(localText(windowCaption(programVersion())));
    setWindowIcon(programIcon());
    layOutControls();
    progress_ = std::make_unique<ProgressWindow>(*this, sink_);
    wireCommands();
    refillPackageBox(true);
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

    itemRows_ = new QStandardItemModel(0, static_cast<int>(kItemColumns.size()), this);
    for (int column = 0; column < itemRows_->columnCount(); ++column) {
        itemRows_->setHeaderData(column, Qt::Horizontal, kItemColumns[static_cast<std::size_t>(column)]);
    }
    auto* itemList = controls_->get<QTreeView>(IdItemList);
    itemList->setModel(itemRows_);
    itemList->header()->setDefaultSectionSize(kItemColumnWidth);
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

    for (QPushButton* button : panel_->findChildren<QPushButton*>()) {
        const int id = controlIdOf(*button);
        connect(button, &QPushButton::clicked, this, [this, id] { dispatch(id); });
    }
    connect(controls_->get<QComboBox>(IdPackageBox), &QComboBox::currentIndexChanged, this,
            &MainWindow::onPackageSelected);
    connect(controls_->get<QTreeView>(IdItemList)->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::onItemSelectionChanged);
    connect(new QShortcut(Qt::Key_F1, this), &QShortcut::activated, this, &MainWindow::showAbout);
}

void MainWindow::setCommand(int id, std::function<void()> command) {
    commands_[id] = std::move(command);
}

void MainWindow::dispatch(int id) {
    if (const auto found = commands_.find(id); found != commands_.end()) {
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

// The box is rebuilt in list order; each package lands at its sorted place.
void MainWindow::refillPackageBox(bool selectLast) {
    auto& box = *controls_->get<QComboBox>(IdPackageBox);
    {
        const QSignalBlocker quiet(box);
        box.clear();
        for (std::size_t index = 0; index < packages_.size(); ++index) {
            Package& package = packages_[index];
            const QString name = localText(package.name());
            comboIndex_ = sortedPosition(box, name);
            box.insertItem(comboIndex_, name, QVariant::fromValue(reinterpret_cast<quintptr>(&package)));
        }
        int selection = comboIndex_;
        if (selectLast && !settings_.lastPackage.empty()) {
            const QString last = localText(settings_.lastPackage);
            for (int entry = 0; entry < box.count(); ++entry) {
                if (box.itemText(entry).startsWith(last, Qt::CaseInsensitive)) {
                    selection = entry;
                    break;
                }
            }
        }
        comboIndex_ = box.count() == 0 ? -1 : selection;
        box.setCurrentIndex(comboIndex_);
    }
    onPackageSelected();
}

void MainWindow::onPackageSelected() {
    const WaitCursor wait;
    comboIndex_ = controls_->get<QComboBox>(IdPackageBox)->currentIndex();
    fillItemList();
    refreshControls();
}

// A read-only list of the selected package's items, the last item on top.
void MainWindow::fillItemList() {
    itemRows_->removeRows(0, itemRows_->rowCount());
    itemRow_ = -1;
    const Package* package = currentPackage();
    if (package == nullptr) {
        return;
    }
    for (const PackageItem& item : package->items()) {
        itemRows_->insertRow(0, {new QStandardItem(localText(item.typeName)),
                                 new QStandardItem(localText(FormatVersion(item.version))),
                                 new QStandardItem(localText(item.fileName))});
    }
    auto* itemList = controls_->get<QTreeView>(IdItemList);
    itemList->resizeColumnToContents(0);
    itemList->resizeColumnToContents(1);
}

void MainWindow::onItemSelectionChanged() {
    const WaitCursor wait;
    const QModelIndexList rows = controls_->get<QTreeView>(IdItemList)->selectionModel()->selectedRows();
    itemRow_ = rows.isEmpty() ? -1 : rows.front().row();
    refreshControls();
    orchestrator_.updateInfo();
}

CommandSettings MainWindow::readSettings() {
    settings_.skipVerify = controls_->get<QCheckBox>(IdSkipVerify)->isChecked();
    settings_.programSelected = controls_->get<QCheckBox>(IdProgramSelected)->isChecked();
    return {settings_.comPort, settings_.comBps, settings_.skipVerify};
}

// Counts only while the package is still in the list.
Package* MainWindow::currentPackage() {
    const auto& box = *controls_->get<QComboBox>(IdPackageBox);
    if (box.currentIndex() < 0) {
        return nullptr;
    }
    comboIndex_ = box.currentIndex();
    const auto address = box.currentData().value<quintptr>();
    for (std::size_t index = 0; index < packages_.size(); ++index) {
        if (reinterpret_cast<quintptr>(&packages_[index]) == address) {
            return &packages_[index];
        }
    }
    return nullptr;
}

// The item named by the "Name" cell of the selected row.
PackageItem* MainWindow::selectedItem() {
    Package* package = currentPackage();
    if (package == nullptr || itemRow_ < 0 || itemRow_ >= itemRows_->rowCount()) {
        return nullptr;
    }
    return package->FindItemByTypeName(itemRows_->item(itemRow_, 0)->text().toLocal8Bit().toStdString());
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
        controls_->get<QTreeView>(IdPropertyList)->clearSelection();
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
    if (settings_.savePackages || messages_.ask(kSavePackageListQuestion, kProgramName, MessageIcon::Question,
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
