// SPDX-License-Identifier: GPL-2.0-or-later
// The window's part in the history: it records each job run that changed the
// camera's flash (an update, Erase, Erase && Program) when the run ends, and
// tells the user once when the history cannot take it; runs that only read
// (Update info, on every selection of an item) are left out. "History..."
// shows the recorded runs in a sortable table, with the jobs of the selected
// run below it.
//
// User interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "history_store.h"
#include "run_capture.h"
#include "update_orchestrator.h"
#include "user_messages.h"

class QTableView;
class QWidget;

namespace tarnwick {

inline constexpr char kHistoryEntry[] = "History...";

class WindowRunRecorder {
public:
    // file: the history, empty when there is no folder for it. messages
    // outlives the recorder.
    WindowRunRecorder(std::filesystem::path file, UserMessages& messages);

    // A button that works on the camera was pressed: a run that follows it
    // started now.
    void commandStarted();
    // Called once the orchestrator has handled the MsgJobsDone that ended a
    // command's run; the package is the window's current one.
    void runEnded(const UpdateOrchestrator& orchestrator, const TargetInfo& target, const Package* package,
                  const CommandSettings& settings);
    // Called once "Back up camera..." has ended, written or not.
    void backupEnded(bool written, const TargetInfo& target, const CommandSettings& settings);

private:
    void keep(const RunRecord& run);

    UserMessages& messages_;
    HistoryRecorder recorder_;
    HistoryTime started_{};
};

// The runs, one a row: run, started, command, port, camera, package, outcome.
class RunTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Id, Started, Command, Port, Camera, PackageName, Outcome, ColumnCount };

    explicit RunTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setRuns(std::vector<RunRecord> runs);
    // nullptr for a row outside the table.
    [[nodiscard]] const RunRecord* run(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    std::vector<RunRecord> runs_;
};

// The jobs of one run: step, start, length, image, result.
class JobTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Step, Start, Length, Image, Result, ColumnCount };

    explicit JobTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setJobs(std::vector<JobRecord> jobs);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<JobRecord> jobs_;
};

// The runs of the history, newest first and sortable by any column, and the
// jobs of the selected run. Throws HistoryError when the runs cannot be read.
class HistoryDialog final : public QDialog {
    Q_OBJECT

public:
    // store: nothing when no run has been recorded yet.
    HistoryDialog(QWidget* parent, std::optional<HistoryStore> store);

    [[nodiscard]] QTableView& runView() const { return *runView_; }
    [[nodiscard]] QTableView& jobView() const { return *jobView_; }

private:
    void showJobsOf(const QModelIndex& current);

    std::optional<HistoryStore> store_;
    RunTableModel* runs_;
    JobTableModel* jobs_;
    QTableView* runView_;
    QTableView* jobView_;
};

// "History...": the dialog over the history file, modal; a history that
// cannot be read is shown as a message instead.
void ShowHistory(QWidget* parent, const std::filesystem::path& file, UserMessages& messages);

}  // namespace tarnwick
