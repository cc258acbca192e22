#include "gui/TakesModel.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPalette>

#include "gui/PlainText.h"

namespace {

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// Padding of a cell around its text.
constexpr int kCellPadding = 24;
// The widest the states' column grows to fit its texts.
constexpr int kMaxStatesWidth = 640;

QColor WarningColour() {
    const QColor base = QApplication::palette().color(QPalette::Base);
    const app::Rgb colour = app::WarningTextColour({base.red(), base.green(), base.blue()});
    return QColor(colour.red, colour.green, colour.blue);
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
                       ? RichTextOf(cellText(row, Name) + QLatin1Char('\n') + cellText(row, Status))
                       : QVariant();
        case Qt::ForegroundRole:
            if (!row.accepted) return QApplication::palette().color(QPalette::PlaceholderText);
            if ((row.truncated() || row.otherRate()) && index.column() == Status) {
                return WarningColour();
            }
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

TakesSortModel::TakesSortModel(TakesModel* takes, QObject* parent)
    : QSortFilterProxyModel(parent), takes_(takes) {
    setSourceModel(takes);
}

int TakesSortModel::modelRow(int viewRow) const {
    return viewRow < 0 ? -1 : mapToSource(index(viewRow, 0)).row();
}

int TakesSortModel::viewRow(int modelRow) const {
    return modelRow < 0 ? -1 : mapFromSource(takes_->index(modelRow, 0)).row();
}

bool TakesSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto& rows = takes_->rows();
    return app::TakeRowBefore(rows[static_cast<size_t>(left.row())],
                              rows[static_cast<size_t>(right.row())], left.column());
}

TakesView::TakesView(TakesSortModel* takes, QWidget* parent) : QTableView(parent) {
    setModel(takes);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(false);
    const char* const samples[TakesModel::ColumnCount] = {"Take 01 Long Name.wav",
                                                          "accepted, more",
                                                          "stereo",
                                                          "24-bit",
                                                          "48000 Hz",
                                                          "00:00:00.00",
                                                          "00:00:00.00",
                                                          "2026-03-14 10:00:00"};
    for (int column = 0; column < TakesModel::ColumnCount; ++column) {
        const QString header =
            takes->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int text =
            std::max(fontMetrics().horizontalAdvance(QString::fromUtf8(samples[column])),
                     fontMetrics().horizontalAdvance(header));
        setColumnWidth(column, text + kCellPadding);
    }
    statesWidth_ = columnWidth(TakesModel::Status);
    connect(takes, &QAbstractItemModel::modelReset, this, &TakesView::measureStates);
}

void TakesView::measureStates() {
    int widest = fontMetrics().horizontalAdvance(QStringLiteral("accepted, more"));
    for (int row = 0; row < model()->rowCount() && widest < kMaxStatesWidth; ++row) {
        const QString state = model()->index(row, TakesModel::Status).data().toString();
        widest = std::max(widest, fontMetrics().horizontalAdvance(state));
    }
    statesWidth_ = std::min(widest + kCellPadding, kMaxStatesWidth);
    spreadColumns();
}

void TakesView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    spreadColumns();
}

void TakesView::spreadColumns() {
    int others = 0;
    for (int column = 0; column < TakesModel::ColumnCount; ++column) {
        if (column != TakesModel::Status) others += columnWidth(column);
    }
    setColumnWidth(TakesModel::Status, std::max(statesWidth_, viewport()->width() - others));
}
