// The takes panel's table: every entry of the project's "Audio Files", one row
// each, as app::BuildTakeRows describes it. Refused entries read in a muted
// colour with their reason; truncated takes are marked with what they hold.
#pragma once

#include <QAbstractTableModel>
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
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text of a cell, also for a table's column widths.
    QString cellText(const app::TakeRow& row, int column) const;

private:
    std::vector<app::TakeRow> rows_;
};
