// The takes panel's table: every entry of the project's "Audio Files", one row
// each, as app::BuildTakeRows describes it. Refused entries read in a muted
// colour with their reason; truncated takes, and takes at another rate than the
// project's, are marked in a warning colour. TakesSortModel puts the rows in the
// order of any column, and TakesView shows them.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <vector>

#include "app/ProjectView.h"

class TakesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The columns of app::TakeCellText.
    enum Column {
        Name = app::kTakeName,
        Status = app::kTakeStatus,
        Channels = app::kTakeChannels,
        Bits = app::kTakeBits,
        Rate = app::kTakeRate,
        Start = app::kTakeStart,
        Length = app::kTakeLength,
        Recorded = app::kTakeRecorded,
        ColumnCount = app::kTakeColumnCount
    };

    explicit TakesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setRows(std::vector<app::TakeRow> rows);
    const std::vector<app::TakeRow>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The cells' texts; their tooltips (name and state) as rich text that shows
    // the name as it is.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text of a cell, also for a table's column widths.
    QString cellText(const app::TakeRow& row, int column) const;

private:
    std::vector<app::TakeRow> rows_;
};

// The rows of a TakesModel sorted as app::TakeRowBefore orders them; unsorted
// (column -1), in listing order.
class TakesSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TakesSortModel(TakesModel* takes, QObject* parent = nullptr);

    // The row of the model for a row of this view of it, and back; -1 for none.
    int modelRow(int viewRow) const;
    int viewRow(int modelRow) const;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    TakesModel* takes_;
};

// The list of the takes: sorted by a click on a column's title (listing order at
// first), one row selected at a time, and one stop for Tab, not one per cell.
// Rows and columns have fixed sizes, so that thousands of takes list at once;
// the states get the room to spare, and never less than the widest of them needs
// (up to a limit beyond which the tooltip shows the rest).
class TakesView : public QTableView {
    Q_OBJECT
public:
    TakesView(TakesSortModel* takes, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The width the states need, after a new project's rows came.
    void measureStates();
    void spreadColumns();

    int statesWidth_ = 0;
};
