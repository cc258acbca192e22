#include "gui/TakesModel.h"

#include <QApplication>
#include <QFile>
#include <QPalette>

namespace {

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

void TakesModel::setRows(std::vector<app::TakeRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TakesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TakesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TakesModel::cellText(const app::TakeRow& row, int column) const {
    return Text(app::TakeCellText(row, column));
}

QVariant TakesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const app::TakeRow& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return cellText(row, index.column());
        case Qt::ToolTipRole:
            return index.column() == Status || index.column() == Name
                       ? cellText(row, Name) + QLatin1Char('\n') + cellText(row, Status)
                       : QVariant();
        case Qt::ForegroundRole:
            if (!row.accepted) return QApplication::palette().color(QPalette::PlaceholderText);
            if (row.truncated() && index.column() == Status) return QColor(0xb0, 0x40, 0x00);
            return {};
        case Qt::TextAlignmentRole:
            return index.column() >= Bits && index.column() <= Length
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant TakesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section >= 0 && section < ColumnCount
               ? QString::fromUtf8(app::kTakeColumnTitles[section])
               : QVariant();
}
