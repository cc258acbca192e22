// The main window and its controller: the project path, the word-length and
// channel choices, the status line, the timeline and the Convert button; the save
// panels, alerts and the progress sheet of a conversion, and the worker thread
// that runs it. Every decision comes from the toolkit-free functions in src/app;
// this class moves values between them, the widgets and the driver.
//
// Threads: everything here runs on the main thread except the worker, which only
// calls EDLWriter::doConvert and then hands its result back through a queued
// call. While a worker exists, nothing of the driver but stopRequested is
// touched: the controls that reach it are disabled, and the worker is joined
// before the driver gets new output files and before the window goes away.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/AppDecisions.h"
#include "app/qt/Dialogs.h"
#include "engine/EDLWriter.h"

class QAction;
class QButtonGroup;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TimelineWidget;

class AppController : public QMainWindow {
    Q_OBJECT
public:
    // Free bytes on the volume holding a directory; negative when unknown.
    using FreeSpaceSource = std::function<int64_t(const QString& directory)>;

    // The window asks its questions through `dialogs`; null means real Qt dialogs.
    explicit AppController(std::unique_ptr<Dialogs> dialogs = nullptr, QWidget* parent = nullptr);
    // Stops a running conversion and waits for its worker.
    ~AppController() override;

    // Loads a project directory as if it had been chosen in the open panel.
    void openProject(const QString& directory);
    // Replaces the free-space source (the volume's real free space by default).
    void setFreeSpaceSource(FreeSpaceSource source) { freeSpace_ = std::move(source); }

    // What the window shows, for tests and for the screenshot.
    QLineEdit* projectPathField() const { return projPath_; }
    QLabel* statusLine() const { return fileInfo_; }
    QButtonGroup* widthGroup() const { return width_; }
    QButtonGroup* channelsGroup() const { return channels_; }
    QPushButton* convertButton() const { return convertButton_; }
    QAction* openAction() const { return openAction_; }
    TimelineWidget* timeline() const { return timeline_; }
    QDialog* progressSheetDialog() const { return progressSheet_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* sheetText() const { return dialogText_; }
    QLabel* sheetDetails() const { return dialogDetails_; }
    QPushButton* sheetButton() const { return dialogButton_; }
    const app::ProgressSheet& sheet() const { return sheet_; }
    const EDLWriter& writer() const { return edlWriter_; }
    // Percentage the running conversion has reached.
    double progress() const { return progAmount_.load(); }
    // True from the start of a worker until its end has been handled.
    bool workerRunning() const { return worker_.joinable(); }

public slots:
    void open();
    void convert();
    void updateStatus();
    // The progress sheet's button: Cancel while converting, Ok afterwards.
    void closeProgressSheet();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createWidgets();
    void createStatusLine();
    void createProgressSheet();
    void createTimer();

    void updateParams();
    void updateControls();
    int widthColumn() const;
    int channelColumn() const;

    // The conversion flow, in the order its steps follow each other.
    QString outputRefusal(const QString& path, const QString& otherOutput, bool last);
    void outputChosen(const QString& path);
    void startConversion();
    void handleTimer();
    void finished(uint64_t ticket, bool success);
    void showSheet();
    // Sets stopRequested and joins a worker that is still running.
    void stopWorker();
    void waitForWorker();

    EDLWriter edlWriter_;
    std::unique_ptr<Dialogs> dialogs_;
    FreeSpaceSource freeSpace_;

    app::ProgressSheet sheet_;
    std::atomic<double> progAmount_{0.0};
    std::thread worker_;
    uint64_t workerTicket_ = 0;  // the sheet's ticket of the run in worker_
    int64_t fileBytes_ = 0;      // projected output size for the current choice
    bool projectLoaded_ = false;
    QString fullPath_;  // the project directory chosen last
    QString leftChan_;  // the left file of dual mono, between the two save panels

    QAction* openAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QLineEdit* projPath_ = nullptr;
    QButtonGroup* width_ = nullptr;
    QButtonGroup* channels_ = nullptr;
    QLabel* fileInfo_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QDialog* progressSheet_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* dialogText_ = nullptr;
    QLabel* dialogDetails_ = nullptr;
    QPushButton* dialogButton_ = nullptr;
    QTimer* progressTimer_ = nullptr;
};
