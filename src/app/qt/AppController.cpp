#include "app/qt/AppController.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cerrno>

#include "app/OutputSafety.h"
#include "app/ProjectView.h"
#include "app/qt/TimelineWidget.h"
#include "audiofile/kxDiskMgr.h"

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

const char* const kChannelLabels[] = {"Stereo", "Mono Left", "Mono Right", "Mono Summed (L+R)",
                                      "Dual Mono"};

}  // namespace

AppController::AppController(std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>(this)),
      freeSpace_(
          [](const QString& folder) { return kxDiskMgr::FreeSpace(Bytes(folder).toStdString()); }) {
    createActions();
    createMenus();
    createWidgets();
    createStatusLine();
    createProgressSheet();
    createTimer();

    edlWriter_.Init();
    updateStatus();  // hands the initial choice to the driver and shows it
    updateControls();
    setWindowTitle(QStringLiteral("proj2wav"));
}

AppController::~AppController() {
    stopWorker();
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

    quitAction_ = new QAction(tr("&Quit"), this);
    quitAction_->setShortcut(QKeySequence::Quit);
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);
}

void AppController::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(openAction_);
    file->addSeparator();
    file->addAction(quitAction_);
}

void AppController::createWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);

    // The project: its path and the way to choose one.
    auto* projectRow = new QHBoxLayout;
    projPath_ = new QLineEdit(central);
    projPath_->setReadOnly(true);
    projPath_->setPlaceholderText(tr("No project loaded"));
    auto* openButton = new QToolButton(central);
    openButton->setObjectName(QStringLiteral("openButton"));
    openButton->setDefaultAction(openAction_);
    projectRow->addWidget(new QLabel(tr("Project:"), central));
    projectRow->addWidget(projPath_, 1);
    projectRow->addWidget(openButton);
    layout->addLayout(projectRow);

    // The output format: two groups of radio buttons whose ids are their columns.
    auto* formatBox = new QGroupBox(tr("Output format"), central);
    auto* grid = new QGridLayout(formatBox);
    grid->setHorizontalSpacing(16);
    width_ = new QButtonGroup(this);
    channels_ = new QButtonGroup(this);
    grid->addWidget(new QLabel(tr("Word length:"), formatBox), 0, 0);
    const char* const widthLabels[] = {"16 Bit", "24 Bit"};
    for (int column = 0; column < 2; ++column) {
        auto* button = new QRadioButton(Text(widthLabels[column]), formatBox);
        width_->addButton(button, column);
        grid->addWidget(button, 0, column + 1);
    }
    grid->addWidget(new QLabel(tr("Channels:"), formatBox), 1, 0);
    for (int column = 0; column < 5; ++column) {
        auto* button = new QRadioButton(Text(kChannelLabels[column]), formatBox);
        channels_->addButton(button, column);
        grid->addWidget(button, 1, column + 1);
    }
    grid->setColumnStretch(6, 1);
    width_->button(0)->setChecked(true);
    channels_->button(0)->setChecked(true);
    const auto selectionChanged = [this](int, bool checked) {
        if (checked) updateStatus();
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
    fileInfo_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    fileInfo_->setMargin(4);
    fileInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(fileInfo_);

    timeline_ = new TimelineWidget(centralWidget());
    layout->addWidget(timeline_);
    layout->addStretch(1);

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
    progressSheet_->setWindowTitle(tr("Converting"));
    progressSheet_->setWindowModality(Qt::WindowModal);
    progressSheet_->setMinimumWidth(380);
    auto* layout = new QVBoxLayout(progressSheet_);
    dialogText_ = new QLabel(progressSheet_);
    progressBar_ = new QProgressBar(progressSheet_);
    progressBar_->setRange(0, 100);
    dialogDetails_ = new QLabel(progressSheet_);
    dialogDetails_->setWordWrap(true);
    dialogDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialogDetails_->hide();
    dialogButton_ = new QPushButton(progressSheet_);
    dialogButton_->setAutoDefault(false);
    connect(dialogButton_, &QPushButton::clicked, this, &AppController::closeProgressSheet);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(dialogButton_);
    layout->addWidget(dialogText_);
    layout->addWidget(progressBar_);
    layout->addWidget(dialogDetails_);
    layout->addLayout(buttons);
}

void AppController::createTimer() {
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(app::kProgressIntervalMs);
    connect(progressTimer_, &QTimer::timeout, this, &AppController::handleTimer);
}

// ---- The project and the status line ----

void AppController::open() {
    if (workerRunning()) return;
    const std::optional<QString> directory = dialogs_->chooseDirectory(QDir::homePath());
    if (directory) openProject(*directory);
}

void AppController::openProject(const QString& directory) {
    if (workerRunning()) return;
    fullPath_ = directory;
    projectLoaded_ = edlWriter_.LoadProject(Bytes(fullPath_).constData()) != 0;
    app::NameOutputs(edlWriter_, app::ProjectName(Bytes(fullPath_).toStdString()));
    if (projectLoaded_) {
        projPath_->setText(fullPath_);
        updateStatus();
        timeline_->setTimeline(app::BuildTimeline(edlWriter_));
    } else {
        projPath_->clear();
        fileInfo_->setText(Text(app::kNotValidProject));
        timeline_->setTimeline({});
    }
    updateControls();
}

int AppController::widthColumn() const {
    return width_->checkedId();
}

int AppController::channelColumn() const {
    return channels_->checkedId();
}

void AppController::updateParams() {
    edlWriter_.SetParams(static_cast<int8_t>(widthColumn()), static_cast<int8_t>(channelColumn()));
}

void AppController::updateStatus() {
    if (workerRunning()) return;  // the driver's parameters belong to the run
    updateParams();
    app::ProjectStatus status;
    status.hasTimes = edlWriter_.ProjectTimes(status.start, status.end) != 0;
    status.hasSize = edlWriter_.ProjectSize(fileBytes_) != 0;
    status.bytes = fileBytes_;
    status.sampleRate = edlWriter_.sampleRate;
    status.ratesDiffer = edlWriter_.ratesDiffer;
    fileInfo_->setText(Text(app::StatusText(widthColumn(), channelColumn(), status)));
}

void AppController::updateControls() {
    const bool idle = !workerRunning();
    openAction_->setEnabled(idle);
    for (QAbstractButton* button : width_->buttons()) button->setEnabled(idle);
    for (QAbstractButton* button : channels_->buttons()) button->setEnabled(idle);
    convertButton_->setEnabled(idle && projectLoaded_);
}

// ---- Converting ----

void AppController::convert() {
    if (!projectLoaded_ || sheet_.shown()) return;
    const std::string project = Bytes(fullPath_).toStdString();
    if (!app::IsDualMono(channelColumn())) {
        const std::optional<QString> path = dialogs_->chooseSaveFile(
            QString(), QString(), QDir::homePath(), FromBytes(app::ProposedSingleName(project)),
            [this](const QString& chosen) { return outputRefusal(chosen, QString(), true); });
        if (path) outputChosen(*path);
        return;
    }

    const std::optional<QString> left = dialogs_->chooseSaveFile(
        Text(app::kSaveLeftTitle), Text(app::kSaveLeftLabel), QDir::homePath(),
        FromBytes(app::ProposedLeftName(project)),
        [this](const QString& chosen) { return outputRefusal(chosen, QString(), false); });
    if (!left) return;
    leftChan_ = *left;
    const std::optional<QString> right = dialogs_->chooseSaveFile(
        Text(app::kSaveRightTitle), Text(app::kSaveRightLabel), QFileInfo(leftChan_).absolutePath(),
        FromBytes(app::ProposedRightName(Bytes(leftChan_).toStdString(), project)),
        [this](const QString& chosen) { return outputRefusal(chosen, leftChan_, true); });
    if (right) outputChosen(*right);
}

// The alert that refuses `path` as an output, or empty. `otherOutput` is the left
// file while the right one of dual mono is chosen. A recording is never
// overwritten, the folder must take the file, and once every output is chosen
// (`last`) each volume must have room for the files it gets.
QString AppController::outputRefusal(const QString& path, const QString& otherOutput, bool last) {
    const std::string pathBytes = Bytes(path).toStdString();
    const std::string otherBytes = Bytes(otherOutput).toStdString();
    if (!otherOutput.isEmpty() && app::SameOutputPaths(otherBytes, pathBytes)) {
        return Text(app::kSameNames);
    }
    const app::OutputProblem problem =
        app::CheckOutputPath(Bytes(fullPath_).toStdString(), pathBytes, otherBytes);
    if (problem != app::OutputProblem::None) {
        return FromBytes(app::OutputProblemText(problem, pathBytes));
    }
    std::string refusal = app::FolderRefusal(pathBytes);
    if (refusal.empty() && last) {
        std::vector<std::string> outputs = {pathBytes};
        if (!otherOutput.isEmpty()) outputs.insert(outputs.begin(), otherBytes);
        // In dual mono the projected size counts both files.
        refusal = app::RoomRefusal(outputs, fileBytes_, [this](const std::string& folder) {
            return freeSpace_(FromBytes(folder));
        });
    }
    return FromBytes(refusal);
}

// The single file, or the right file of dual mono, has been chosen and passed
// every guard.
void AppController::outputChosen(const QString& path) {
    const bool dualMono = app::IsDualMono(channelColumn());
    // A cancelled run may still be closing its output; the driver gets new
    // output files only once it has.
    waitForWorker();
    errno = 0;
    const int32_t created =
        dualMono ? edlWriter_.NewFiles(Bytes(leftChan_).constData(), Bytes(path).constData())
                 : edlWriter_.NewFile(Bytes(path).constData());
    if (created == 0) {
        const int error = errno;
        // The left file of dual mono is created first; when the right one fails,
        // the left stays behind holding just its 1024-byte header.
        const bool leftMade = dualMono && QFileInfo(leftChan_).size() == 1024;
        const QString failed = dualMono && !leftMade ? leftChan_ : path;
        dialogs_->warn(Text(app::CannotCreateText(Bytes(failed).toStdString(), error)));
        return;
    }
    startConversion();
}

void AppController::startConversion() {
    progAmount_ = 0.0;
    const uint64_t ticket = sheet_.Open();
    dialogDetails_->clear();
    dialogDetails_->hide();
    showSheet();
    progressSheet_->open();
    progressTimer_->start();

    workerTicket_ = ticket;
    worker_ = std::thread([this, ticket] {
        const bool success = edlWriter_.doConvert(progAmount_) != 0;
        QMetaObject::invokeMethod(
            this, [this, ticket, success] { finished(ticket, success); }, Qt::QueuedConnection);
    });
    updateControls();
}

void AppController::handleTimer() {
    sheet_.Tick(progAmount_.load());
    showSheet();
}

// The worker of run `ticket` has ended (on the main thread, queued by the worker).
void AppController::finished(uint64_t ticket, bool success) {
    if (ticket == workerTicket_) waitForWorker();
    if (sheet_.Finished(ticket, success)) progressTimer_->stop();
    // Whatever decided the outcome, the sheet of this run tells which takes could
    // not be read: the output holds silence there.
    if (ticket == workerTicket_ && sheet_.shown()) {
        const std::string unreadable = app::UnreadableTakesText(edlWriter_);
        dialogDetails_->setText(FromBytes(unreadable));
        dialogDetails_->setVisible(!unreadable.empty());
    }
    showSheet();
    updateControls();
}

void AppController::closeProgressSheet() {
    switch (sheet_.PressButton()) {
        case app::ProgressSheet::ButtonAction::StopConversion:
            progressTimer_->stop();
            showSheet();
            edlWriter_.stopRequested = true;  // last: the worker ends at its next block
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
    progressBar_->setValue(qRound(sheet_.bar()));
    dialogText_->setText(Text(sheet_.text()));
    dialogButton_->setText(Text(sheet_.button()));
}

// ---- The worker's end ----

void AppController::waitForWorker() {
    if (worker_.joinable()) worker_.join();
}

void AppController::stopWorker() {
    if (!worker_.joinable()) return;
    edlWriter_.stopRequested = true;
    worker_.join();
}

void AppController::closeEvent(QCloseEvent* event) {
    // A run ends like a cancelled one, and its output is closed, with a header
    // that matches its samples, before the window goes.
    if (workerRunning()) sheet_.Cancel();
    stopWorker();
    progressTimer_->stop();
    if (sheet_.shown()) sheet_.PressButton();
    progressSheet_->hide();
    updateControls();
    event->accept();
}
