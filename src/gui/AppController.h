// The main window and its controller: the project path, the word-length and
// channel choices, the status line, the timeline with its waveform, the takes
// panel and the Convert button; the save panels, alerts and the progress sheet of
// a conversion, the worker thread that runs it, and what is remembered between
// runs; File > Export Ardour Session... writes the project as an Ardour session
// on a worker of its own, behind a progress dialog. Every decision comes from the
// toolkit-free functions in src/app; this class moves values between them, the
// widgets and the session.
//
// Threads: everything here runs on the main thread except three workers. The
// loader loads the project into the session and builds the views of the result;
// the conversion worker only runs the session's conversion; each hands its
// result back through a queued call. While either exists, nothing of the session
// but Stop is touched: the controls that reach it are disabled, and the worker
// is joined before the session is used again and before the window goes away.
// The waveform's worker (WaveformLoader) and the Ardour session's worker never
// touch the session: they work on a copy of what they need and open the takes on
// handles of their own.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/AppDecisions.h"
#include "app/ArdourSession.h"
#include "gui/Dialogs.h"
#include "gui/WindowSettings.h"
#include "engine/ProjectSession.h"
#include "platform/kxDiskMgr.h"

class BatchWindow;
class QAction;
class QButtonGroup;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QScrollArea;
class QTableView;
class TakesModel;
class TakesSortModel;
class TakesView;
class TimelineWidget;
class WaveformLoader;

class AppController : public QMainWindow {
    Q_OBJECT
public:
    // Free bytes on the volume holding a directory; negative when unknown.
    using FreeSpaceSource = std::function<int64_t(const QString& directory)>;
    // Shows a folder in the desktop's file manager; false when none could.
    using FolderOpener = std::function<bool(const QString& folder)>;

    // The window asks its questions through `dialogs`; null means real Qt dialogs.
    explicit AppController(std::unique_ptr<Dialogs> dialogs = nullptr, QWidget* parent = nullptr);
    // Stops a running conversion and waits for its worker, and for the loader's.
    ~AppController() override;

    // Loads a project as if it had been chosen in the open panel: a project
    // folder, its "Audio Files" or a take in there (app::ProjectDirFor). The load
    // runs on a worker; loadFinished tells when its result shows. When nothing is
    // at `path`, an alert says so, the project loaded before stays, and the
    // result is false.
    bool openProject(const QString& path);
    // Shows the projects found in `folder` (a recorder's disk) in a window of their
    // own, to be converted together; says so when there is none.
    void openProjectsFolder(const QString& folder);
    // That window while it is open, else null.
    BatchWindow* batchWindow() const;
    // Replaces the free-space source (the volume's real free space by default).
    void setFreeSpaceSource(FreeSpaceSource source) { freeSpace_ = std::move(source); }
    // Replaces what "Show in Folder" calls (the desktop's file manager by default).
    void setFolderOpener(FolderOpener opener) { folderOpener_ = std::move(opener); }
    // Gives the window its first size: what it asks for, within `available`, the
    // room of the screen it opens on.
    void fitFirstSize(const QSize& available);

    // What the window shows, for tests and for the screenshot.
    QLineEdit* projectPathField() const { return projPath_; }
    QLabel* statusLine() const { return fileInfo_; }
    QButtonGroup* widthGroup() const { return width_; }
    QButtonGroup* channelsGroup() const { return channels_; }
    QCheckBox* markersBox() const { return markers_; }
    QPushButton* convertButton() const { return convertButton_; }
    QAction* openAction() const { return openAction_; }
    QMenu* recentMenu() const { return recentMenu_; }
    TimelineWidget* timeline() const { return timeline_; }
    // Above the takes: how many entries were refused.
    QLabel* takesHeading() const { return takesHeading_; }
    // The takes as the user has sorted them, over takesModel.
    QTableView* takesView() const;
    TakesModel* takesModel() const { return takesModel_; }
    TakesSortModel* takesSortModel() const { return takesSort_; }
    QDialog* progressSheetDialog() const { return progressSheet_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* sheetText() const { return dialogText_; }
    // Under the bar while the run goes on: percent, time elapsed and left, MB/s.
    QLabel* sheetFigures() const { return dialogFigures_; }
    // The outcome in detail: the outputs after a run, what a cancel kept, why a
    // run failed.
    QLabel* sheetSummary() const { return dialogSummary_; }
    // The takes that could not be read, in a scrollable list.
    QLabel* sheetDetails() const { return dialogDetails_; }
    QPushButton* sheetButton() const { return dialogButton_; }
    QPushButton* showInFolderButton() const { return showInFolder_; }
    const app::ProgressSheet& sheet() const { return sheet_; }
    const ProjectSession& session() const { return session_; }
    // The output format the controls show.
    OutputFormat format() const;
    const WindowSettings& settings() const { return settings_; }
    // Percentage the running conversion has reached.
    double progress() const { return progAmount_.load(); }
    // True from the start of a conversion's worker until its end has been handled.
    bool workerRunning() const { return worker_.joinable(); }
    // True from the start of a load until its result shows.
    bool loading() const { return loader_.joinable(); }
    // True while the waveform of the loaded project is still being computed.
    bool waveformRunning() const;
    // The command line that converts as the window would now (Help > About).
    QString commandLine() const;

    // File > Export Ardour Session..., its progress dialog (which ends showing the
    // outcome), and whether its worker is still copying.
    QAction* exportSessionAction() const { return exportSessionAction_; }
    QProgressDialog* sessionDialog() const { return sessionDialog_; }
    bool sessionRunning() const { return sessionWorker_.joinable(); }

public slots:
    void open();
    void convert();
    void updateStatus();
    // The progress sheet's button: Cancel while converting, OK afterwards.
    void closeProgressSheet();
    void about();
    // Asks where the session's folder goes ("<project> Ardour" in the folder
    // chosen), checks it and the room, and starts copying.
    void exportArdourSession();

signals:
    // A load has ended and the window shows its result.
    void loadFinished(bool loaded);
    // The waveform of the loaded project is complete.
    void waveformFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct LoadResult;

    void createActions();
    void createMenus();
    void createWidgets();
    void createStatusLine();
    void createProgressSheet();
    void createTimer();

    void updateControls();
    void updateRecentMenu();
    void forgetRecentProject(const QString& directory);
    // The project path typed into the project field, on Enter.
    void openTypedProject();
    // The loader's result, on the main thread.
    void projectLoaded(uint64_t ticket, std::shared_ptr<LoadResult> result);
    void rememberProject(const QString& directory);
    // The folder the save panel of a new output starts in.
    QString outputStartFolder() const;

    // The conversion flow, in the order its steps follow each other.
    QString outputRefusal(const QString& path, const QString& otherOutput, bool last);
    void outputChosen(const QString& path);
    void startConversion();
    void handleTimer();
    void finished(uint64_t ticket, std::shared_ptr<RunOutcome> outcome);
    void showOutcome(const RunOutcome& outcome);
    void showSheet();
    // Sets stopRequested and joins a worker that is still running.
    void stopWorker();
    void waitForWorker();
    void waitForLoader();
    // The session worker's end, on the main thread; and stopping it.
    void sessionFinished(const app::SessionResult& result, const app::SessionPlan& plan);
    void stopSessionWorker();

    ProjectSession session_;
    std::unique_ptr<Dialogs> dialogs_;
    FreeSpaceSource freeSpace_;
    FolderOpener folderOpener_;
    WindowSettings settings_;

    app::ProgressSheet sheet_;
    std::atomic<double> progAmount_{0.0};
    std::thread worker_;
    std::unique_ptr<kxStopSignals> stopSignals_;  // while a run goes on
    uint64_t workerTicket_ = 0;  // the sheet's ticket of the run in worker_
    std::thread loader_;
    uint64_t loadTicket_ = 0;  // of the load in loader_
    int64_t fileBytes_ = 0;    // projected output size for the current choice
    bool projectLoaded_ = false;
    QString fullPath_;        // the project directory chosen last
    QString leftChan_;        // the left file of dual mono, between the two save panels
    QStringList runOutputs_;  // the files of the run shown on the sheet
    OutputFormat runFormat_;  // and their format

    QAction* openAction_ = nullptr;
    QAction* openProjectsAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* fitAction_ = nullptr;
    QAction* zoomInAction_ = nullptr;
    QAction* zoomOutAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLineEdit* projPath_ = nullptr;
    QButtonGroup* width_ = nullptr;
    QButtonGroup* channels_ = nullptr;
    QCheckBox* markers_ = nullptr;
    QLabel* fileInfo_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    WaveformLoader* waveform_ = nullptr;
    TakesModel* takesModel_ = nullptr;
    TakesSortModel* takesSort_ = nullptr;
    QLabel* takesHeading_ = nullptr;
    TakesView* takesView_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QDialog* progressSheet_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* dialogText_ = nullptr;
    QLabel* dialogFigures_ = nullptr;
    QLabel* dialogSummary_ = nullptr;
    QScrollArea* detailsArea_ = nullptr;
    QLabel* dialogDetails_ = nullptr;
    QPushButton* showInFolder_ = nullptr;
    QPushButton* dialogButton_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QPointer<BatchWindow> batchWindow_;
    QElapsedTimer runClock_;  // since the run shown on the sheet began

    QAction* exportSessionAction_ = nullptr;
    QProgressDialog* sessionDialog_ = nullptr;
    QTimer* sessionTimer_ = nullptr;
    std::thread sessionWorker_;
    std::atomic<double> sessionProgress_{0.0};
    std::atomic<bool> sessionStop_{false};
};
