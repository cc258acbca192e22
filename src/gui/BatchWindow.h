// The window of many projects: every project found in a folder (a recorder's
// disk) with its status line and a checkbox, on for each valid one; "Convert
// All..." asks for one output folder and converts the checked projects one after
// another (app::ProjectBatch) on a worker thread, with a bar for the whole run and
// one for the project in hand, and ends with the table of what happened.
//
// Threads: the worker only runs the batch; Stop and the progress are the only
// things of it the main thread touches meanwhile. Closing the window stops the
// run and waits for it, so the project in hand ends as a valid, shorter file.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ProjectBatch.h"
#include "gui/Dialogs.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

class BatchWindow : public QDialog {
    Q_OBJECT
public:
    // The projects found, to be converted to `format`; the output folder is asked
    // through `dialogs`, starting in `startFolder`.
    BatchWindow(std::vector<std::string> projects, const OutputFormat& format, Dialogs& dialogs,
                QString startFolder, QWidget* parent);
    ~BatchWindow() override;

    // For tests and for the window: the list (one row per project, a checkbox in
    // the first column), the button, the bars and the line over them.
    QTableWidget* table() const { return table_; }
    QPushButton* convertButton() const { return convert_; }
    QProgressBar* overallBar() const { return overall_; }
    QProgressBar* projectBar() const { return current_; }
    QLabel* line() const { return line_; }
    bool running() const { return worker_.joinable(); }
    // The batch of the last run, once it has ended; null before.
    const app::ProjectBatch* batch() const { return running() ? nullptr : batch_.get(); }

signals:
    void runFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void convertAll();
    void showProgress();
    void finished();
    void showReport();
    void stop();

    std::vector<std::string> projects_;
    OutputFormat format_;
    Dialogs& dialogs_;
    QString startFolder_;
    std::unique_ptr<app::ProjectBatch> batch_;
    std::thread worker_;

    QTableWidget* table_ = nullptr;
    QLabel* line_ = nullptr;
    QProgressBar* overall_ = nullptr;
    QProgressBar* current_ = nullptr;
    QPushButton* convert_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer* timer_ = nullptr;
    QElapsedTimer clock_;
};
