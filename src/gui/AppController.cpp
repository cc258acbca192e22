#include "gui/AppController.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>

#include "app/ConversionFlow.h"
#include "app/OutputSafety.h"
#include "app/ProjectBatch.h"
#include "app/ProjectReport.h"
#include "app/ProjectView.h"
#include "app/Version.h"
#include "app/Waveform.h"
#include "gui/BatchWindow.h"
#include "gui/PlainText.h"
#include "gui/TakesModel.h"
#include "gui/TimelineWidget.h"
#include "gui/WaveformLoader.h"
#include "platform/Paths.h"
#include "platform/kxDiskMgr.h"

namespace {

// Paths travel to the engine and back as the bytes the file system uses.
QByteArray Bytes(const QString& path) {
    return QFile::encodeName(path);
}
QString FromBytes(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}
QString Text(const char* text) {
    return QString::fromUtf8(text);
}
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The progress sheet. Escape and the title bar's close button act like the
// sheet's own button: a sheet that simply vanished would leave a run going
// without a way to stop it.
class ProgressSheetDialog : public QDialog {
public:
    ProgressSheetDialog(QWidget* parent, std::function<void()> onClose)
        : QDialog(parent), onClose_(std::move(onClose)) {}
    void reject() override { onClose_(); }

private:
    std::function<void()> onClose_;
};

// The longest lines the list of unreadable takes shows before it scrolls.
constexpr int kDetailLines = 10;
constexpr int kDetailWidth = 640;

// The command line that belongs to this window, as the About box starts its
// command with it: installed beside the window, or in the build tree.
std::string CommandLineProgram() {
    const QString dir = QCoreApplication::applicationDirPath();
    QString program;
    for (const QString& candidate :
         {dir + QStringLiteral("/proj2wav"), dir + QStringLiteral("/../cli/proj2wav")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable()) {
            program = info.canonicalFilePath();
            break;
        }
    }
    const QString found = QStandardPaths::findExecutable(QStringLiteral("proj2wav"));
    const QString onPath = found.isEmpty() ? QString() : QFileInfo(found).canonicalFilePath();
    return app::CommandLineProgram(Bytes(program).toStdString(), Bytes(onPath).toStdString());
}

// The local file or folder a drag carries first, or empty.
QString DroppedPath(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    const QUrl url = mime->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

// What the loader hands to the main thread: the load's outcome and the views of
// the project, built on the loader's thread while the session was its own.
struct AppController::LoadResult {
    bool loaded = false;
    std::string name;    // the project's name, for the title and its outputs
    std::string reason;  // why it is no valid project
    std::vector<app::TakeRow> rows;
    app::Timeline timeline;
    app::WaveformJob waveform;
};

AppController::AppController(std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>(this)),
      freeSpace_(
          [](const QString& folder) { return kxDiskMgr::FreeSpace(Bytes(folder).toStdString()); }),
      folderOpener_([](const QString& folder) {
          return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
      }),
      settings_(WindowSettings::load()) {
    createActions();
    createMenus();
    createWidgets();
    createStatusLine();
    createProgressSheet();
    createTimer();

    updateStatus();
    updateControls();
    updateRecentMenu();
    setWindowTitle(QStringLiteral("proj2wav"));
    setAcceptDrops(true);
}

AppController::~AppController() {
    stopSessionWorker();
    stopWorker();
    waitForLoader();
}

// ---- Building the window ----

void AppController::createActions() {
    openAction_ = new QAction(tr("&Open Project..."), this);
    openAction_->setShortcut(QKeySequence::Open);
    openAction_->setStatusTip(tr("Choose a recorder's project directory"));
    // What a button for the action shows (the window's "Open..." button): set once,
    // so that it stays when the action is disabled and enabled again.
    openAction_->setIconText(tr("Open..."));
    connect(openAction_, &QAction::triggered, this, &AppController::open);

    openProjectsAction_ = new QAction(tr("Open &Folder of Projects..."), this);
    openProjectsAction_->setStatusTip(
        tr("Choose a folder that holds projects, such as a recorder's disk"));
    connect(openProjectsAction_, &QAction::triggered, this, [this] {
        const std::optional<QString> folder = dialogs_->chooseDirectory(QDir::homePath());
        if (folder) openProjectsFolder(*folder);
    });

    quitAction_ = new QAction(tr("&Quit"), this);
    // Ctrl+Q everywhere: not every desktop defines a standard key for quitting.
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);

    fitAction_ = new QAction(tr("&Fit to Window"), this);
    fitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    zoomInAction_ = new QAction(tr("Zoom &In"), this);
    // Ctrl+= too: the key under "+" on many keyboards, without Shift.
    zoomInAction_->setShortcuts(
        {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    zoomOutAction_ = new QAction(tr("Zoom &Out"), this);
    zoomOutAction_->setShortcuts(QKeySequence::ZoomOut);

    aboutAction_ = new QAction(tr("&About proj2wav"), this);
    connect(aboutAction_, &QAction::triggered, this, &AppController::about);

    exportSessionAction_ = new QAction(tr("Export &Ardour Session..."), this);
    exportSessionAction_->setStatusTip(
        tr("Write the project as an Ardour session, every take in place"));
    connect(exportSessionAction_, &QAction::triggered, this, &AppController::exportArdourSession);
}

void AppController::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(openAction_);
    file->addAction(openProjectsAction_);
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    file->addAction(exportSessionAction_);
    file->addSeparator();
    file->addAction(quitAction_);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(zoomInAction_);
    view->addAction(zoomOutAction_);
    view->addAction(fitAction_);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(aboutAction_);
}

void AppController::createWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(8);

    // The project: its path and the way to choose one.
    auto* projectRow = new QHBoxLayout;
    projPath_ = new QLineEdit(central);
    projPath_->setPlaceholderText(
        tr("No project loaded: open one, or type its path and press Enter"));
    connect(projPath_, &QLineEdit::returnPressed, this, &AppController::openTypedProject);
    projPath_->installEventFilter(this);
    auto* openButton = new QToolButton(central);
    openButton->setObjectName(QStringLiteral("openButton"));
    openButton->setDefaultAction(openAction_);
    projectRow->addWidget(new QLabel(tr("Project:"), central));
    projectRow->addWidget(projPath_, 1);
    projectRow->addWidget(openButton);
    layout->addLayout(projectRow);

    // The output format: two groups of radio buttons whose ids are the word length
    // in bits and the layout.
    auto* formatBox = new QGroupBox(tr("Output format"), central);
    auto* grid = new QGridLayout(formatBox);
    grid->setHorizontalSpacing(16);
    width_ = new QButtonGroup(this);
    channels_ = new QButtonGroup(this);
    grid->addWidget(new QLabel(tr("Word length:"), formatBox), 0, 0);
    for (int column = 0; column < 2; ++column) {
        const int bits = column == 0 ? 16 : 24;
        auto* button = new QRadioButton(Text(app::WidthName(bits)), formatBox);
        if (bits == 16) button->setToolTip(Text(app::kSixteenBitHelp));
        width_->addButton(button, bits);
        grid->addWidget(button, 0, column + 1);
    }
    grid->addWidget(new QLabel(tr("Channels:"), formatBox), 1, 0);
    for (int column = 0; column < static_cast<int>(std::size(app::kLayoutNames)); ++column) {
        auto* button = new QRadioButton(Text(app::ChannelName(static_cast<ChanTypes>(column))),
                                        formatBox);
        channels_->addButton(button, column);
        grid->addWidget(button, 1, column + 1);
    }
    markers_ = new QCheckBox(Text(app::kMarkersOption), formatBox);
    markers_->setToolTip(Text(app::kMarkersHelp));
    markers_->setChecked(settings_.format.markers);
    connect(markers_, &QCheckBox::toggled, this, [this] {
        settings_.format = format();
        settings_.save();
    });
    grid->addWidget(markers_, 0, 3, 1, 3);  // beside the word length: a row less to fit
    grid->setColumnStretch(6, 1);
    width_->button(settings_.format.bits)->setChecked(true);
    channels_->button(settings_.format.layout)->setChecked(true);
    const auto selectionChanged = [this](int, bool checked) {
        if (!checked) return;
        updateStatus();
        settings_.format = format();
        settings_.save();
    };
    connect(width_, &QButtonGroup::idToggled, this, selectionChanged);
    connect(channels_, &QButtonGroup::idToggled, this, selectionChanged);
    layout->addWidget(formatBox);

    // The status line and the timeline under it are added by createStatusLine.
    setCentralWidget(central);
}

void AppController::createStatusLine() {
    auto* layout = static_cast<QVBoxLayout*>(centralWidget()->layout());
    fileInfo_ = new QLabel(centralWidget());
    fileInfo_->setTextFormat(Qt::PlainText);
    fileInfo_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    fileInfo_->setMargin(4);
    fileInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(fileInfo_);

    // The timeline over the takes panel; the divider between them can be moved.
    auto* splitter = new QSplitter(Qt::Vertical, centralWidget());
    splitter->setChildrenCollapsible(false);
    timeline_ = new TimelineWidget(splitter);
    connect(fitAction_, &QAction::triggered, timeline_, &TimelineWidget::fitToWindow);
    connect(zoomInAction_, &QAction::triggered, timeline_, &TimelineWidget::zoomIn);
    connect(zoomOutAction_, &QAction::triggered, timeline_, &TimelineWidget::zoomOut);
    waveform_ = new WaveformLoader(this);
    connect(waveform_, &WaveformLoader::peaksArrived, timeline_, &TimelineWidget::addPeaks);
    connect(waveform_, &WaveformLoader::finished, this, &AppController::waveformFinished);

    // The takes panel: a heading with the refused entries over the list.
    auto* takesPanel = new QWidget(splitter);
    auto* takesLayout = new QVBoxLayout(takesPanel);
    takesLayout->setContentsMargins(0, 4, 0, 0);
    takesLayout->setSpacing(4);
    takesHeading_ = new QLabel(takesPanel);
    takesHeading_->setTextFormat(Qt::PlainText);
    takesLayout->addWidget(takesHeading_);
    takesModel_ = new TakesModel(this);
    takesSort_ = new TakesSortModel(takesModel_, this);
    takesView_ = new TakesView(takesSort_, takesPanel);
    takesLayout->addWidget(takesView_);
    // The timeline knows the takes by their rows in the model, the list by its own.
    const auto showTake = [this](const QModelIndex& index) {
        timeline_->setSelectedRow(takesSort_->modelRow(index.row()));
    };
    connect(takesView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, showTake);
    connect(takesView_, &QTableView::clicked, this, showTake);  // again, when scrolled away
    connect(timeline_, &TimelineWidget::rowClicked, this, [this](int row) {
        if (row < 0) {
            takesView_->clearSelection();
            takesView_->setCurrentIndex({});
            timeline_->setSelectedRow(-1);
            return;
        }
        const int viewRow = takesSort_->viewRow(row);
        takesView_->selectRow(viewRow);
        takesView_->scrollTo(takesSort_->index(viewRow, 0));
    });
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    auto* buttons = new QHBoxLayout;
    convertButton_ = new QPushButton(tr("Convert"), centralWidget());
    convertButton_->setDefault(true);
    connect(convertButton_, &QPushButton::clicked, this, &AppController::convert);
    buttons->addStretch(1);
    buttons->addWidget(convertButton_);
    layout->addLayout(buttons);
}

void AppController::createProgressSheet() {
    progressSheet_ = new ProgressSheetDialog(this, [this] { closeProgressSheet(); });
    progressSheet_->setWindowTitle(Text(app::kConvertingTitle));
    progressSheet_->setWindowModality(Qt::WindowModal);
    progressSheet_->setMinimumWidth(420);
    auto* layout = new QVBoxLayout(progressSheet_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    dialogText_ = new QLabel(progressSheet_);
    dialogText_->setTextFormat(Qt::PlainText);
    progressBar_ = new QProgressBar(progressSheet_);
    progressBar_->setRange(0, 100);
    progressBar_->setMinimumWidth(400);
    dialogFigures_ = new QLabel(progressSheet_);
    dialogFigures_->setTextFormat(Qt::PlainText);
    dialogFigures_->setObjectName(QStringLiteral("progressFigures"));
    dialogSummary_ = new QLabel(progressSheet_);
    dialogSummary_->setTextFormat(Qt::PlainText);
    dialogSummary_->setWordWrap(true);
    dialogSummary_->setMaximumWidth(kDetailWidth);
    dialogSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialogSummary_->hide();
    dialogDetails_ = new QLabel;
    dialogDetails_->setTextFormat(Qt::PlainText);
    dialogDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialogDetails_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    detailsArea_ = new QScrollArea(progressSheet_);
    detailsArea_->setWidget(dialogDetails_);
    detailsArea_->setWidgetResizable(true);
    detailsArea_->hide();
    dialogDetails_->hide();
    showInFolder_ = new QPushButton(tr("Show in Folder"), progressSheet_);
    showInFolder_->setAutoDefault(false);
    showInFolder_->hide();
    connect(showInFolder_, &QPushButton::clicked, this, [this] {
        if (runOutputs_.isEmpty()) return;
        const QString folder = QFileInfo(runOutputs_.first()).absolutePath();
        if (!folderOpener_(folder)) {
            dialogs_->warn(FromBytes(app::NoFileManagerText(Bytes(folder).toStdString())));
        }
    });
    dialogButton_ = new QPushButton(progressSheet_);
    dialogButton_->setAutoDefault(false);
    connect(dialogButton_, &QPushButton::clicked, this, &AppController::closeProgressSheet);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showInFolder_);
    buttons->addStretch(1);
    buttons->addWidget(dialogButton_);
    layout->addWidget(dialogText_);
    layout->addWidget(progressBar_);
    layout->addWidget(dialogFigures_);
    layout->addWidget(dialogSummary_);
    layout->addWidget(detailsArea_);
    layout->addLayout(buttons);
}

void AppController::createTimer() {
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(app::kProgressIntervalMs);
    connect(progressTimer_, &QTimer::timeout, this, &AppController::handleTimer);
}

// ---- The project and the status line ----

void AppController::open() {
    if (workerRunning() || loading()) return;
    // Beside the project opened last, when it is still there.
    const QString last = settings_.lastProjectFolder;
    const QString start = !last.isEmpty() && QFileInfo(last).isDir()
                              ? FromBytes(paths::Folder(Bytes(last).toStdString()))
                              : QDir::homePath();
    const std::optional<QString> directory = dialogs_->chooseDirectory(start);
    if (directory) openProject(*directory);
}

void AppController::openTypedProject() {
    QString typed = projPath_->text().trimmed();
    if (typed.isEmpty()) return;
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))) {
        typed = QDir::homePath() + typed.mid(1);
    }
    openProject(QDir::cleanPath(QFileInfo(typed).absoluteFilePath()));
}

// A path typed but not opened with Enter goes when the focus moves on in the
// window, so that the field names the project that Convert converts. (An alert
// about the path takes the focus without that: the typing can be mended.)
bool AppController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == projPath_ && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        projPath_->setText(projectLoaded_ ? fullPath_ : QString());
    }
    return QMainWindow::eventFilter(watched, event);
}

bool AppController::openProject(const QString& path) {
    if (workerRunning() || loading()) return true;
    if (!kxDiskMgr::Identify(Bytes(path).toStdString()).exists) {
        dialogs_->warn(FromBytes(app::MissingPathText(Bytes(path).toStdString())));
        return false;
    }
    fullPath_ = FromBytes(app::ProjectDirFor(Bytes(path).toStdString()));
    waveform_->cancel();
    fileInfo_->setText(Text(app::kLoadingProject));
    QApplication::setOverrideCursor(Qt::BusyCursor);

    // The session belongs to the loader until its result is handed over.
    const uint64_t ticket = ++loadTicket_;
    const std::string directory = Bytes(fullPath_).toStdString();
    loader_ = std::thread([this, ticket, directory] {
        auto result = std::make_shared<LoadResult>();
        result->loaded = session_.Load(directory);
        result->name = app::ProjectName(directory);
        if (!result->loaded) result->reason = app::NotAProjectReason(session_);
        result->rows = app::BuildTakeRows(session_);
        if (result->loaded) {
            result->timeline = app::BuildTimeline(session_);
            result->waveform = app::MakeWaveformJob(session_);
        }
        QMetaObject::invokeMethod(
            this, [this, ticket, result] { projectLoaded(ticket, result); }, Qt::QueuedConnection);
    });
    updateControls();
    return true;
}

void AppController::projectLoaded(uint64_t ticket, std::shared_ptr<LoadResult> result) {
    if (ticket != loadTicket_) return;
    waitForLoader();
    QApplication::restoreOverrideCursor();
    projectLoaded_ = result->loaded;
    takesHeading_->setText(FromBytes(app::RefusedEntriesText(result->rows)));
    takesModel_->setRows(std::move(result->rows));
    if (projectLoaded_) {
        projPath_->setText(fullPath_);
        updateStatus();
        timeline_->setTimeline(std::move(result->timeline));
        waveform_->start(std::move(result->waveform));
        setWindowTitle(FromBytes(result->name));
        rememberProject(fullPath_);
    } else {
        projPath_->clear();
        fileInfo_->setText(Text(app::kNotValidProject) + QStringLiteral(" (") +
                           FromBytes(result->reason) + QLatin1Char(')'));
        timeline_->setTimeline({});
        setWindowTitle(QStringLiteral("proj2wav"));
    }
    updateControls();
    emit loadFinished(projectLoaded_);
}

QTableView* AppController::takesView() const {
    return takesView_;
}

bool AppController::waveformRunning() const {
    return waveform_->running();
}

void AppController::rememberProject(const QString& directory) {
    settings_.lastProjectFolder = directory;
    std::vector<std::string> recent;
    for (const QString& project : settings_.recentProjects)
        recent.push_back(Bytes(project).toStdString());
    settings_.recentProjects.clear();
    for (const std::string& project :
         app::WithRecentProject(recent, Bytes(directory).toStdString())) {
        settings_.recentProjects.append(FromBytes(project));
    }
    settings_.save();
    updateRecentMenu();
}

void AppController::updateRecentMenu() {
    recentMenu_->clear();
    for (const QString& project : settings_.recentProjects) {
        QAction* action = recentMenu_->addAction(MenuTextOf(project));
        connect(action, &QAction::triggered, this, [this, project] {
            const QString directory = project;  // the menu and this slot may go now
            if (!openProject(directory)) forgetRecentProject(directory);
        });
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("&Clear Menu"));
    clear->setEnabled(!settings_.recentProjects.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        settings_.recentProjects.clear();
        settings_.save();
        updateRecentMenu();
    });
}

void AppController::forgetRecentProject(const QString& directory) {
    settings_.recentProjects.removeAll(directory);
    settings_.save();
    updateRecentMenu();
}

QString AppController::outputStartFolder() const {
    QString last = settings_.lastOutputFolder;
    if (!last.isEmpty() && !QFileInfo(last).isDir()) last.clear();
    const std::string folder =
        app::OutputStartFolder(Bytes(last).toStdString(), Bytes(fullPath_).toStdString());
    return folder.empty() ? QDir::homePath() : FromBytes(folder);
}

QString AppController::commandLine() const {
    const std::string project = projectLoaded_ ? Bytes(fullPath_).toStdString() : "PROJECT";
    const std::string folder = projectLoaded_ ? Bytes(outputStartFolder()).toStdString() : "";
    return FromBytes(app::ConvertCommandLine(project, folder, format(), CommandLineProgram()));
}

OutputFormat AppController::format() const {
    return {width_->checkedId(), static_cast<ChanTypes>(channels_->checkedId()),
            markers_->isChecked()};
}

void AppController::fitFirstSize(const QSize& available) {
    const QSize wanted = sizeHint();
    const QSize minimum = minimumSizeHint();
    const app::WindowSize size = app::FirstWindowSize({wanted.width(), wanted.height()}, {900, 620},
                                                      {minimum.width(), minimum.height()},
                                                      {available.width(), available.height()});
    resize(size.width, size.height);
}

void AppController::updateStatus() {
    if (workerRunning() || loading()) return;  // the session belongs to the run or the load
    fileBytes_ = static_cast<int64_t>(session_.Plan(format()).audioBytes);
    fileInfo_->setText(Text(app::StatusLineOf(session_, format())));
}

void AppController::updateControls() {
    const bool idle = !workerRunning() && !loading() && !sessionRunning();
    openAction_->setEnabled(idle);
    openProjectsAction_->setEnabled(idle);
    recentMenu_->setEnabled(idle);
    for (QAbstractButton* button : width_->buttons()) button->setEnabled(idle);
    for (QAbstractButton* button : channels_->buttons()) button->setEnabled(idle);
    markers_->setEnabled(idle);
    convertButton_->setEnabled(idle && projectLoaded_);
    exportSessionAction_->setEnabled(idle && projectLoaded_);
}

// ---- Converting ----

void AppController::convert() {
    if (!projectLoaded_ || sheet_.shown() || loading()) return;
    const std::string project = Bytes(fullPath_).toStdString();
    const QString start = outputStartFolder();
    if (!format().TwoFiles()) {
        const std::optional<QString> path = dialogs_->chooseSaveFile(
            QString(), QString(), start,
            FromBytes(app::WithOutputType(app::ProposedSingleName(project))),
            [this](const QString& chosen) { return outputRefusal(chosen, QString(), true); });
        if (path) outputChosen(*path);
        return;
    }

    const std::optional<QString> left = dialogs_->chooseSaveFile(
        Text(app::kSaveLeftTitle), Text(app::kSaveLeftLabel), start,
        FromBytes(app::WithOutputType(app::ProposedLeftName(project))),
        [this](const QString& chosen) { return outputRefusal(chosen, QString(), false); });
    if (!left) return;
    leftChan_ = *left;
    const std::optional<QString> right = dialogs_->chooseSaveFile(
        Text(app::kSaveRightTitle), Text(app::kSaveRightLabel), QFileInfo(leftChan_).absolutePath(),
        FromBytes(paths::LastComponent(app::RightOutputPath(Bytes(leftChan_).toStdString()))),
        [this](const QString& chosen) { return outputRefusal(chosen, leftChan_, true); });
    if (right) outputChosen(*right);
}

// The alert that refuses `path` as an output, or empty. `otherOutput` is the left
// file while the right one of dual mono is chosen. A recording is never
// overwritten, the folder must take the file, and once every output is chosen
// (`last`) each volume must have room for the files it gets.
QString AppController::outputRefusal(const QString& path, const QString& otherOutput, bool last) {
    // The save panel has asked before an existing file is overwritten.
    const std::string pathBytes = Bytes(path).toStdString();
    if (!last) {
        return FromBytes(app::OutputPathRefusal(session_.Dir(), pathBytes, std::string(), true));
    }
    std::vector<std::string> outputs = {pathBytes};
    if (!otherOutput.isEmpty()) outputs.insert(outputs.begin(), Bytes(otherOutput).toStdString());
    return FromBytes(app::OutputsRefusal(session_, format(), outputs, true,
                                         [this](const std::string& folder) {
                                             return freeSpace_(FromBytes(folder));
                                         }));
}

// The single file, or the right file of dual mono, has been chosen and passed
// every guard.
void AppController::outputChosen(const QString& path) {
    settings_.lastOutputFolder = QFileInfo(path).absolutePath();
    settings_.save();
    runOutputs_ = format().TwoFiles() ? QStringList{leftChan_, path} : QStringList{path};
    // A cancelled run may still be closing its output; the session gets new
    // output files only once it has, with the choices as they are now.
    waitForWorker();
    runFormat_ = format();
    std::vector<std::string> outputs;
    for (const QString& output : runOutputs_) outputs.push_back(Bytes(output).toStdString());
    const std::string refusal = app::CreateOutputs(session_, runFormat_, outputs);
    if (!refusal.empty()) {
        dialogs_->warn(FromBytes(refusal));
        return;
    }
    startConversion();
}

void AppController::startConversion() {
    progAmount_ = 0.0;
    // A logout, `kill` or Ctrl-C in the terminal ends the run as a valid, shorter
    // file, and then the window.
    stopSignals_ = std::make_unique<kxStopSignals>();
    stopSignals_->Connect(session_.StopFlag());
    const uint64_t ticket = sheet_.Open();
    runClock_.start();
    for (QWidget* detail :
         {static_cast<QWidget*>(dialogSummary_), static_cast<QWidget*>(detailsArea_),
          static_cast<QWidget*>(dialogDetails_), static_cast<QWidget*>(showInFolder_)}) {
        detail->hide();
    }
    dialogSummary_->clear();
    dialogDetails_->clear();
    showSheet();
    progressSheet_->adjustSize();
    progressSheet_->open();
    progressTimer_->start();

    workerTicket_ = ticket;
    worker_ = std::thread([this, ticket] {
        auto outcome = std::make_shared<RunOutcome>(session_.Run(progAmount_));
        QMetaObject::invokeMethod(
            this, [this, ticket, outcome] { finished(ticket, outcome); }, Qt::QueuedConnection);
    });
    updateControls();
}

void AppController::handleTimer() {
    sheet_.Tick(progAmount_.load());
    showSheet();
}

// The worker of run `ticket` has ended (on the main thread, queued by the worker).
void AppController::finished(uint64_t ticket, std::shared_ptr<RunOutcome> outcome) {
    if (ticket == workerTicket_) waitForWorker();
    const bool signalled = stopSignals_ != nullptr && stopSignals_->Signalled();
    if (ticket == workerTicket_) stopSignals_.reset();
    if (sheet_.Finished(ticket, *outcome)) progressTimer_->stop();
    // Whatever decided the outcome, the sheet of this run tells it in full.
    if (ticket == workerTicket_ && sheet_.shown()) showOutcome(*outcome);
    showSheet();
    updateControls();
    if (signalled) close();
}

// Under the sheet's line: where the output went and what it holds, what a cancel
// kept, or why the run failed; then the takes that could not be read (the output
// holds silence there), in a list that scrolls when it is long.
void AppController::showOutcome(const RunOutcome& outcome) {
    std::vector<std::string> outputs;
    for (const QString& output : runOutputs_) outputs.push_back(Bytes(output).toStdString());
    const app::OutcomeText words = app::OutcomeWords(session_, runFormat_, outcome, outputs);
    QString summary = FromBytes(words.summary);
    for (const std::string& note :
         {words.markersNote, app::LeftOutEntriesText(takesModel_->rows())}) {
        if (!note.empty()) {
            summary += (summary.isEmpty() ? QString() : QStringLiteral("\n")) + FromBytes(note);
        }
    }
    dialogSummary_->setText(summary);
    dialogSummary_->setVisible(!summary.isEmpty());
    showInFolder_->setVisible(!outputs.empty());

    const std::string& unreadable = words.unreadable;
    dialogDetails_->setText(FromBytes(unreadable));
    dialogDetails_->setVisible(!unreadable.empty());
    detailsArea_->setVisible(!unreadable.empty());
    if (!unreadable.empty()) {
        // Sized to its text, up to a size that still fits on the screen.
        const QSize text = dialogDetails_->sizeHint();
        const int bar = detailsArea_->verticalScrollBar()->sizeHint().width();
        const int lines = dialogDetails_->fontMetrics().lineSpacing() * kDetailLines;
        detailsArea_->setFixedSize(std::min(text.width() + bar + 6, kDetailWidth),
                                   std::min(text.height(), lines) + bar + 6);
    }
    progressSheet_->adjustSize();
}

void AppController::closeProgressSheet() {
    switch (sheet_.PressButton()) {
        case app::ProgressSheet::ButtonAction::StopConversion:
            progressTimer_->stop();
            showSheet();
            session_.Stop();  // last: the worker ends at its next block
            break;
        case app::ProgressSheet::ButtonAction::CloseSheet:
            progressSheet_->hide();
            break;
        case app::ProgressSheet::ButtonAction::None:
            break;
    }
    updateControls();
}

void AppController::showSheet() {
    progressSheet_->setWindowTitle(Text(sheet_.title()));
    progressBar_->setValue(sheet_.percent());
    // The figures the command line and the page show beside their bars.
    const bool converting = sheet_.state() == app::ProgressSheet::State::Converting;
    dialogFigures_->setText(
        converting ? Text(app::ProgressFigures(sheet_.bar(), runClock_.elapsed() / 1000.0,
                                               static_cast<double>(fileBytes_)))
                         .trimmed()
                   : QString());
    dialogFigures_->setVisible(converting);
    dialogText_->setText(Text(sheet_.text()));
    dialogButton_->setText(Text(sheet_.button()));
}

// ---- The worker's end ----

void AppController::waitForWorker() {
    if (worker_.joinable()) worker_.join();
}

void AppController::waitForLoader() {
    if (loader_.joinable()) loader_.join();
}

void AppController::stopWorker() {
    if (!worker_.joinable()) return;
    session_.Stop();
    worker_.join();
}

// ---- Drag and drop, and help ----

void AppController::dragEnterEvent(QDragEnterEvent* event) {
    if (!workerRunning() && !loading() && !DroppedPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void AppController::dropEvent(QDropEvent* event) {
    const QString path = DroppedPath(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // A folder that is no project but holds some, such as a recorder's disk.
    const std::vector<std::string> projects = app::FindProjects({Bytes(path).toStdString()});
    const std::string project = app::ProjectDirFor(Bytes(path).toStdString());
    if (!projects.empty() && projects.front() != project) {
        openProjectsFolder(path);
    } else {
        openProject(path);
    }
}

BatchWindow* AppController::batchWindow() const {
    return batchWindow_;
}

void AppController::openProjectsFolder(const QString& folder) {
    if (workerRunning() || loading() || batchWindow_ != nullptr) return;
    const std::vector<std::string> projects = app::FindProjects({Bytes(folder).toStdString()});
    if (projects.empty()) {
        dialogs_->warn(tr("No project was found in \"%1\".").arg(folder));
        return;
    }
    batchWindow_ = new BatchWindow(projects, format(), *dialogs_, outputStartFolder(), this);
    batchWindow_->setAttribute(Qt::WA_DeleteOnClose);
    batchWindow_->setWindowModality(Qt::WindowModal);
    batchWindow_->show();
}

void AppController::about() {
    QDialog dialog(this);
    dialog.setWindowTitle(aboutAction_->text().remove(QLatin1Char('&')));
    dialog.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&dialog);

    QString shortcuts;
    for (const QAction* action :
         {openAction_, zoomInAction_, zoomOutAction_, fitAction_, quitAction_}) {
        shortcuts += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                         .arg(action->shortcut().toString(QKeySequence::NativeText),
                              action->text().remove(QLatin1Char('&')).toHtmlEscaped());
    }
    shortcuts +=
        tr("<tr><td>Ctrl+Wheel</td><td>Zoom the timeline</td></tr>"
           "<tr><td>Arrows, Home, End</td><td>Move along the timeline</td></tr>");
    auto* text = new QLabel(
        tr("<h3>proj2wav %1</h3><p>Turns a hard-disk recorder's project into one continuous "
           "Broadcast WAVE file.</p><p>%2</p><p><b>Keyboard shortcuts</b></p>"
           "<table cellspacing=\"4\">%3</table><p>The same conversion on the command line:</p>")
            .arg(QStringLiteral(PROJ2WAV_VERSION), Text(app::kProjectFolderHelp).toHtmlEscaped(),
                 shortcuts),
        &dialog);
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* commandRow = new QHBoxLayout;
    auto* command = new QLineEdit(commandLine(), &dialog);
    command->setObjectName(QStringLiteral("commandLine"));
    command->setReadOnly(true);
    command->setCursorPosition(0);
    command->setMinimumWidth(420);
    auto* copy = new QPushButton(tr("Copy"), &dialog);
    connect(copy, &QPushButton::clicked, command,
            [command] { QGuiApplication::clipboard()->setText(command->text()); });
    commandRow->addWidget(command, 1);
    commandRow->addWidget(copy);
    layout->addLayout(commandRow);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(close, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(close);
    dialog.exec();
}

void AppController::closeEvent(QCloseEvent* event) {
    // A run ends like a cancelled one, and its output is closed, with a header
    // that matches its samples, before the window goes.
    if (workerRunning()) sheet_.Cancel();
    stopWorker();
    stopSessionWorker();
    waveform_->cancel();
    progressTimer_->stop();
    if (sheet_.shown()) sheet_.PressButton();
    progressSheet_->hide();
    updateControls();
    event->accept();
}

// ---- Exporting an Ardour session ----

void AppController::exportArdourSession() {
    if (!projectLoaded_ || sessionRunning() || workerRunning() || loading()) return;
    const std::optional<QString> where = dialogs_->chooseDirectory(outputStartFolder());
    if (!where) return;
    const std::string project = Bytes(fullPath_).toStdString();
    const std::string name = app::ProjectName(project);
    const std::string folder = paths::Join(Bytes(*where).toStdString(), name + " Ardour");
    const app::ArdourProject session =
        app::ArdourProjectOf(session_, name, markers_->isChecked());
    const app::SessionPlan plan = app::PlanSession(session, folder);
    std::string refusal = app::SessionFolderRefusal(folder, project);
    if (refusal.empty()) {
        refusal = app::SessionRoomRefusal(
            plan, [this](const std::string& dir) { return freeSpace_(FromBytes(dir)); });
    }
    if (!refusal.empty()) {
        dialogs_->warn(Text(refusal));
        return;
    }

    if (sessionDialog_ == nullptr) {
        sessionDialog_ = new QProgressDialog(this);
        sessionDialog_->setWindowTitle(tr("Export Ardour Session"));
        sessionDialog_->setWindowModality(Qt::WindowModal);
        sessionDialog_->setRange(0, 100);
        sessionDialog_->setAutoClose(false);
        sessionDialog_->setAutoReset(false);
        sessionDialog_->setMinimumDuration(0);
        sessionDialog_->setMinimumWidth(420);
        // Cancel stops the copying; once the outcome shows, the button closes it.
        connect(sessionDialog_, &QProgressDialog::canceled, this, [this] {
            if (sessionRunning()) sessionStop_ = true;
        });
        sessionTimer_ = new QTimer(this);
        sessionTimer_->setInterval(100);
        connect(sessionTimer_, &QTimer::timeout, this,
                [this] { sessionDialog_->setValue(static_cast<int>(sessionProgress_.load())); });
    }
    sessionStop_ = false;
    sessionProgress_ = 0.0;
    sessionDialog_->setLabelText(tr("Copying the takes into the Ardour session..."));
    sessionDialog_->setCancelButtonText(Text(app::kCancelButton));
    sessionDialog_->setValue(0);
    sessionDialog_->show();
    sessionWorker_ = std::thread([this, session, plan] {
        const app::SessionResult result =
            app::WriteSession(session, plan, sessionProgress_, sessionStop_);
        QMetaObject::invokeMethod(
            this, [this, result, plan] { sessionFinished(result, plan); }, Qt::QueuedConnection);
    });
    sessionTimer_->start();
    updateControls();
}

void AppController::sessionFinished(const app::SessionResult& result,
                                    const app::SessionPlan& plan) {
    if (sessionWorker_.joinable()) sessionWorker_.join();
    sessionTimer_->stop();
    updateControls();
    if (!isVisible()) return;  // the window closed meanwhile
    QString outcome;
    switch (result.outcome) {
        case app::SessionOutcome::Written:
            outcome = Text(app::SessionWrittenText(plan, result));
            break;
        case app::SessionOutcome::Stopped:
            outcome = Text(app::kCancelled) + tr("\nNothing of the session was kept.");
            break;
        case app::SessionOutcome::Failed:
            outcome = Text(result.error) + tr("\nNothing of the session was kept.");
            break;
    }
    sessionDialog_->setLabelText(outcome);
    sessionDialog_->setValue(static_cast<int>(sessionProgress_.load()));
    sessionDialog_->setCancelButtonText(Text(app::kOkButton));
    sessionDialog_->show();
}

void AppController::stopSessionWorker() {
    if (!sessionWorker_.joinable()) return;
    sessionStop_ = true;
    sessionWorker_.join();
    sessionTimer_->stop();
    sessionDialog_->hide();
}
