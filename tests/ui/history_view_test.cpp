// SPDX-License-Identifier: GPL-2.0-or-later
// The history's table of runs, in the order a click on a column asks for.
#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include <vector>

#include "qt_printers.h"
#include "window_history.h"

namespace tarnwick {
namespace {

RunRecord Record(std::int64_t id, int minute, std::string command, RunOutcome outcome) {
    RunRecord run;
    run.id = id;
    run.started = HistoryTime(std::chrono::minutes(minute));
    run.frontEnd = "tarnwick";
    run.command = std::move(command);
    run.outcome = outcome;
    return run;
}

std::vector<std::int64_t> Ids(const RunTableModel& model) {
    std::vector<std::int64_t> ids;
    for (int row = 0; row < model.rowCount(); ++row) {
        ids.push_back(model.run(row)->id);
    }
    return ids;
}

TEST(RunTableModel, SortsByTheClickedColumnAndKeepsTheSelection) {
    RunTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setRuns({Record(9, 30, "update", RunOutcome::Succeeded), Record(10, 5, "erase", RunOutcome::Failed),
                   Record(11, 20, "program", RunOutcome::Cancelled)});
    const QPersistentModelIndex selected = model.index(1, RunTableModel::Command);
    const struct {
        int column;
        Qt::SortOrder order;
        std::vector<std::int64_t> ids;
    } cases[] = {
        {RunTableModel::Id, Qt::DescendingOrder, {11, 10, 9}},
        {RunTableModel::Started, Qt::AscendingOrder, {10, 11, 9}},
        {RunTableModel::Command, Qt::AscendingOrder, {10, 11, 9}},
        {RunTableModel::Outcome, Qt::DescendingOrder, {9, 10, 11}},
    };
    for (const auto& row : cases) {
        model.sort(row.column, row.order);
        EXPECT_EQ(Ids(model), row.ids) << row.column;
        EXPECT_EQ(model.run(selected.row())->id, 10) << row.column;
    }
    EXPECT_EQ(model.headerData(RunTableModel::Camera, Qt::Horizontal, Qt::DisplayRole), "Camera");
    EXPECT_EQ(model.index(0, RunTableModel::Command).data(), "tarnwick update");
}

}  // namespace
}  // namespace tarnwick
