// SPDX-License-Identifier: GPL-2.0-or-later
#include "window_history.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>

#include "orchestration_plan.h"

namespace tarnwick {
namespace {

// What the window calls a run, by its jobs: nothing for a run that only read
// the flash.
std::optional<std::string> CommandOfRun(const std::vector<RunJobOutcome>& jobs, bool updateSequence) {
    const auto has = [&jobs](BatchStep step) {
        return std::ranges::any_of(jobs, [step](const RunJobOutcome& outcome) { return outcome.job.step == step; });
    };
    if (updateSequence) {
        return "update";
    }
    if (has(BatchStep::Write)) {
        return "program";
    }
    if (has(BatchStep::Erase)) {
        return "erase";
    }
    return std::nullopt;
}

QString Hex(std::uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", value);
    return QString::fromLatin1(text.data());
}

// The system's texts are 8-bit; the camera's and the files' may be anything.
QString Text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr std::array<const char*, RunTableModel::ColumnCount> kRunHeaders{"Run",    "Started", "Command", "Port",
                                                                          "Camera", "Package", "Outcome"};
constexpr std::array<const char*, JobTableModel::ColumnCount> kJobHeaders{"Step", "Start", "Length", "Image",
                                                                          "Result"};

QString RunCell(const RunRecord& run, int column) {
    switch (column) {
    case RunTableModel::Id: return QString::number(run.id);
    case RunTableModel::Started: return Text(LocalTimeText(run.started));
    case RunTableModel::Command: return Text(run.frontEnd + " " + run.command);
    case RunTableModel::Port: return Text(run.port);
    case RunTableModel::Camera: return Text(run.bootCode);
    case RunTableModel::PackageName: return Text(run.packageName);
    case RunTableModel::Outcome: return Text(OutcomeText(run));
    default: return {};
    }
}

// Runs in the column's order: ids and times as such, the rest as shown.
bool RunBefore(const RunRecord& first, const RunRecord& second, int column) {
    switch (column) {
    case RunTableModel::Id: return first.id < second.id;
    case RunTableModel::Started: return first.started < second.started;
    default: return RunCell(first, column).localeAwareCompare(RunCell(second, column)) < 0;
    }
}

QString JobCell(const JobRecord& job, int column) {
    switch (column) {
    case JobTableModel::Step: return Text(job.step);
    case JobTableModel::Start: return Hex(job.start);
    case JobTableModel::Length: return Hex(job.length);
    case JobTableModel::Image: return Text(job.item);
    case JobTableModel::Result: return Text(job.result);
    default: return {};
    }
}

QVariant Header(std::span<const char* const> headers, int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(headers.size())) {
        return {};
    }
    return QString::fromLatin1(headers[static_cast<std::size_t>(section)]);
}

QTableView* MakeTable(QWidget* parent, QAbstractItemModel* model) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

}  // namespace

WindowRunRecorder::WindowRunRecorder(std::filesystem::path file, UserMessages& messages)
    : messages_(messages), recorder_(std::move(file)) {}

void WindowRunRecorder::commandStarted() { started_ = HistoryNow(); }

void WindowRunRecorder::runEnded(const UpdateOrchestrator& orchestrator, const TargetInfo& target,
                                 const Package* package, const CommandSettings& settings) {
    // An update sequence goes on to close the link once its jobs have run.
    const bool updateSequence = orchestrator.updateState() == UpdateState::Closing;
    const std::optional<std::string> command = CommandOfRun(orchestrator.lastRunJobs(), updateSequence);
    if (!command) {
        return;
    }
    const RunOutcome outcome =
        orchestrator.lastRunSucceeded().value_or(false) ? RunOutcome::Succeeded : RunOutcome::Failed;
    keep(CaptureRun(RunStart{"tarnwick", *command, settings, started_}, &target, package, orchestrator.lastRunJobs(),
                    outcome, std::nullopt));
}

void WindowRunRecorder::backupEnded(bool written, const TargetInfo& target, const CommandSettings& settings) {
    keep(CaptureRun(RunStart{"tarnwick", "backup", settings, started_}, &target, nullptr, {},
                    written ? RunOutcome::Succeeded : RunOutcome::Failed, std::nullopt));
}

void WindowRunRecorder::keep(const RunRecord& run) {
    if (const std::optional<std::string> failure = recorder_.record(run)) {
        messages_.showMessage(*failure, kProgramCaption, MessageIcon::Exclamation);
    }
}

void RunTableModel::setRuns(std::vector<RunRecord> runs) {
    beginResetModel();
    runs_ = std::move(runs);
    endResetModel();
}

const RunRecord* RunTableModel::run(int row) const {
    return row >= 0 && row < rowCount() ? &runs_[static_cast<std::size_t>(row)] : nullptr;
}

int RunTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(runs_.size());
}

int RunTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant RunTableModel::data(const QModelIndex& index, int role) const {
    const RunRecord* shown = run(index.row());
    if (shown == nullptr || role != Qt::DisplayRole) {
        return {};
    }
    return RunCell(*shown, index.column());
}

QVariant RunTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return Header(kRunHeaders, section, orientation, role);
}

void RunTableModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::int64_t> ids;
    for (const QModelIndex& index : before) {
        ids.push_back(runs_[static_cast<std::size_t>(index.row())].id);
    }
    std::ranges::stable_sort(runs_, [column, order](const RunRecord& first, const RunRecord& second) {
        return order == Qt::AscendingOrder ? RunBefore(first, second, column) : RunBefore(second, first, column);
    });
    QModelIndexList after;
    for (std::size_t position = 0; position < ids.size(); ++position) {
        const auto row = std::ranges::find(runs_, ids[position], &RunRecord::id) - runs_.begin();
        after << index(static_cast<int>(row), before[static_cast<qsizetype>(position)].column());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void JobTableModel::setJobs(std::vector<JobRecord> jobs) {
    beginResetModel();
    jobs_ = std::move(jobs);
    endResetModel();
}

int JobTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(jobs_.size());
}

int JobTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant JobTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    return JobCell(jobs_[static_cast<std::size_t>(index.row())], index.column());
}

QVariant JobTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return Header(kJobHeaders, section, orientation, role);
}

HistoryDialog::HistoryDialog(QWidget* parent, std::optional<HistoryStore> store)
    : QDialog(parent),
      store_(std::move(store)),
      runs_(new RunTableModel(this)),
      jobs_(new JobTableModel(this)),
      runView_(MakeTable(this, runs_)),
      jobView_(MakeTable(this, jobs_)) {
    setWindowTitle(QString::fromLatin1(kProgramCaption.data(), static_cast<qsizetype>(kProgramCaption.size())) +
                   " - History");
    if (store_) {
        runs_->setRuns(store_->list({.withJobs = false}));
    }
    runView_->setSortingEnabled(true);
    runView_->sortByColumn(RunTableModel::Started, Qt::DescendingOrder);
    connect(runView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showJobsOf(current); });
    runView_->resizeColumnsToContents();
    runView_->selectRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(runView_, 3);
    layout->addWidget(jobView_, 2);
    layout->addWidget(buttons);
    resize(900, 560);
}

// The jobs are read when a run is chosen: a history of many runs is listed
// without them.
void HistoryDialog::showJobsOf(const QModelIndex& current) {
    const RunRecord* run = runs_->run(current.row());
    std::optional<RunRecord> found;
    try {
        found = run != nullptr && store_ ? store_->find(run->id) : std::nullopt;
    } catch (const HistoryError&) {
        // The runs were listed a moment ago: a file damaged since shows no jobs.
    }
    jobs_->setJobs(found ? std::move(found->jobs) : std::vector<JobRecord>());
    jobView_->resizeColumnsToContents();
}

void ShowHistory(QWidget* parent, const std::filesystem::path& file, UserMessages& messages) {
    try {
        std::error_code error;
        std::optional<HistoryStore> store;
        if (!file.empty() && std::filesystem::exists(file, error)) {
            store.emplace(file, false);
        }
        HistoryDialog dialog(parent, std::move(store));
        dialog.exec();
    } catch (const HistoryError& error) {
        messages.showMessage(UnreadableHistoryText(file, error.what()), kProgramCaption, MessageIcon::Error);
    }
}

}  // namespace tarnwick
