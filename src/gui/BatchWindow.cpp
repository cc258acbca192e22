#include "gui/BatchWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/AppDecisions.h"
#include "app/ProjectReport.h"
#include "platform/kxDiskMgr.h"

namespace {

QString FromBytes(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QTableWidgetItem* Cell(const std::string& text) {
    auto* item = new QTableWidgetItem(FromBytes(text));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

BatchWindow::BatchWindow(std::vector<std::string> projects, const OutputFormat& format,
                         Dialogs& dialogs, QString startFolder, QWidget* parent)
    : QDialog(parent),
      projects_(std::move(projects)),
      format_(format),
      dialogs_(dialogs),
      startFolder_(std::move(startFolder)) {
    setWindowTitle(tr("Projects"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(static_cast<int>(projects_.size()), 2, this);
    table_->setHorizontalHeaderLabels({tr(app::kProjectListTitles[0]), tr(app::kProjectListTitles[1])});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setTabKeyNavigation(false);
    for (size_t i = 0; i < projects_.size(); ++i) {
        ProjectSession session;
        const bool valid = session.Load(projects_[i]);
        const int row = static_cast<int>(i);
        QTableWidgetItem* name = Cell(projects_[i]);
        name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
        name->setCheckState(valid ? Qt::Checked : Qt::Unchecked);
        table_->setItem(row, 0, name);
        table_->setItem(row, 1, Cell(app::ListedStatus(session, valid, format_)));
    }
    table_->resizeColumnToContents(0);
    layout->addWidget(table_, 1);

    line_ = new QLabel(this);
    line_->setTextFormat(Qt::PlainText);
    overall_ = new QProgressBar(this);
    current_ = new QProgressBar(this);
    for (QWidget* widget : {static_cast<QWidget*>(line_), static_cast<QWidget*>(overall_),
                            static_cast<QWidget*>(current_)}) {
        widget->hide();
        layout->addWidget(widget);
    }
    auto* buttons = new QHBoxLayout;
    convert_ = new QPushButton(tr(app::kConvertAll), this);
    convert_->setDefault(true);
    close_ = new QPushButton(tr("Close"), this);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    buttons->addWidget(convert_);
    layout->addLayout(buttons);
    connect(convert_, &QPushButton::clicked, this, [this] {
        if (running()) {
            stop();
        } else {
            convertAll();
        }
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);

    timer_ = new QTimer(this);
    timer_->setInterval(app::kProgressIntervalMs);
    connect(timer_, &QTimer::timeout, this, &BatchWindow::showProgress);
    resize(760, 420);
}

BatchWindow::~BatchWindow() {
    stop();
}

void BatchWindow::convertAll() {
    std::vector<std::string> chosen;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (table_->item(row, 0)->checkState() == Qt::Checked) {
            chosen.push_back(projects_[static_cast<size_t>(row)]);
        }
    }
    if (chosen.empty()) return;
    const std::optional<QString> folder = dialogs_.chooseDirectory(startFolder_);
    if (!folder) return;
    batch_ = std::make_unique<app::ProjectBatch>(
        chosen, QFile::encodeName(*folder).toStdString(), format_, false);
    batch_->Plan();
    const std::string refusal = batch_->Refusal(kxDiskMgr::FreeSpace);
    if (!refusal.empty()) {
        dialogs_.warn(FromBytes(refusal));
        return;
    }
    table_->setEnabled(false);
    convert_->setText(tr("Stop"));
    close_->setEnabled(false);
    for (QWidget* widget : {static_cast<QWidget*>(line_), static_cast<QWidget*>(overall_),
                            static_cast<QWidget*>(current_)}) {
        widget->show();
    }
    clock_.start();
    timer_->start();
    worker_ = std::thread([this] {
        batch_->Run(kxDiskMgr::FreeSpace);
        QMetaObject::invokeMethod(this, &BatchWindow::finished, Qt::QueuedConnection);
    });
}

void BatchWindow::showProgress() {
    if (!batch_) return;
    const app::BatchProgress now = batch_->Now();
    overall_->setValue(static_cast<int>(std::floor(now.overall)));
    current_->setValue(static_cast<int>(std::floor(now.current)));
    line_->setText(FromBytes(app::BatchProgressText(now, clock_.elapsed() / 1000.0)));
}

void BatchWindow::finished() {
    if (worker_.joinable()) worker_.join();
    timer_->stop();
    showProgress();
    showReport();
    convert_->hide();
    close_->setEnabled(true);
    emit runFinished();
}

// The end: the table of what happened, one row per project.
void BatchWindow::showReport() {
    const auto& projects = batch_->Projects();
    table_->clear();
    table_->setColumnCount(app::kBatchColumnCount);
    table_->setRowCount(static_cast<int>(projects.size()));
    QStringList titles;
    for (const char* title : app::kBatchColumnTitles) titles << tr(title);
    table_->setHorizontalHeaderLabels(titles);
    for (size_t i = 0; i < projects.size(); ++i) {
        const std::vector<std::string> cells = app::BatchCells(projects[i], "\n");
        for (int column = 0; column < app::kBatchColumnCount; ++column) {
            table_->setItem(static_cast<int>(i), column, Cell(cells[static_cast<size_t>(column)]));
        }
    }
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
    table_->setEnabled(true);
    line_->setText(tr(app::kBatchDone));
}

void BatchWindow::stop() {
    if (!worker_.joinable()) return;
    batch_->Stop();
    worker_.join();
}

void BatchWindow::closeEvent(QCloseEvent* event) {
    stop();
    event->accept();
}
