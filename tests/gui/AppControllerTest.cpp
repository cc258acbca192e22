// The window driven as a user would, with scripted answers to its panels: the
// status line, the timeline, conversions to the end, the output guards' wiring
// (refusals that create nothing), cancels, a Convert right after a cancel, and
// closing during a run. (The guards' rules are tested in OutputSafetyTest, the
// samples and headers of outputs in tests/engine.)
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <csignal>
#include <deque>
#include <filesystem>

#include "ScriptedWindow.h"
#include "gui/AppController.h"
#include "gui/TakesModel.h"
#include "gui/TimelineWidget.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

namespace fs = std::filesystem;
using namespace testsupport;
using State = app::ProgressSheet::State;

namespace {

// Two stereo 24-bit takes at 48 kHz, back to back from 1 s to 3 s.
const std::vector<TakeRecipe> kShort = {NthTake(48000, 48000, 0), NthTake(96000, 48000, 1)};
// Two one-second mono takes twenty minutes apart: a long run that writes little
// when it is stopped early.
const std::vector<TakeRecipe> kLong = {NthTake(0, 48000, 0, 1, 16),
                                       NthTake(20 * 60 * 48000, 48000, 1, 1, 16)};

class WindowTest : public ::testing::Test {
protected:
    // A project folder `name` holding the takes "<prefix>01.wav", ...; outputs go
    // beside it.
    ProjectDir& Project(const std::string& name, const std::vector<TakeRecipe>& takes,
                        const std::string& prefix = "Take ") {
        ProjectDir& project = projects_.emplace_back(name);
        project.AddAll(takes, prefix);
        return project;
    }
    void Load(const std::string& dir) {
        dialogs_->directories.push_back(Q(dir));
        window_->open();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window_->loading(); }));
    }
    void Choose(int bits, ChanTypes layout) {
        window_->widthGroup()->button(bits)->click();
        window_->channelsGroup()->button(layout)->click();
    }
    // Presses Convert with these answers ready for the save panels.
    void Convert(const std::vector<std::string>& paths) {
        for (const std::string& path : paths) dialogs_->saveFiles.push_back(Q(path));
        window_->convertButton()->click();
    }
    // Waits until the worker has ended and its end has been handled.
    bool WaitForWorker() {
        return QTest::qWaitFor([this] { return !window_->workerRunning(); }, 120000);
    }
    QString Status() const { return window_->statusLine()->text(); }
    QString SheetText() const { return window_->sheetText()->text(); }
    int64_t ProjectBytes() const {
        return static_cast<int64_t>(window_->session().Plan(window_->format()).audioBytes);
    }

    std::deque<ProjectDir> projects_;
    Window shown_;
    ScriptedDialogs* dialogs_ = shown_.dialogs;
    std::unique_ptr<AppController>& window_ = shown_.controller;
};

}  // namespace

// ---- The main window ----

TEST_F(WindowTest, StatusLineFollowsTheProjectAndBothChoices) {
    EXPECT_EQ(Status(), "16 Bit, Stereo");
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    const std::string project = Project("Gig", kShort).Path();
    Load(project);
    ASSERT_EQ(dialogs_->directoryStarts.size(), 1u);
    EXPECT_EQ(dialogs_->directoryStarts[0], QDir::homePath());
    EXPECT_EQ(window_->projectPathField()->text(), Q(project));
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_EQ(Status(), "16 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:03.00, 384 KB");
    window_->widthGroup()->button(24)->click();
    EXPECT_EQ(Status(), "24 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:03.00, 576 KB");
    window_->channelsGroup()->button(MonoSummed)->click();
    EXPECT_EQ(Status(), "24 Bit, Mono Summed (L+R), 48.0Khz,  0:00:01.00- 0:00:03.00, 288 KB");
    // The run converts what the line says.
    EXPECT_EQ(window_->format().bits, 24);
    EXPECT_EQ(window_->format().layout, MonoSummed);
}

TEST_F(WindowTest, FailedLoadEmptiesPathTimelineAndConvert) {
    Load(Project("Gig", kShort).Path());
    const QString loadedStatus = Status();
    dialogs_->directories.push_back(std::nullopt);  // a cancelled panel changes nothing
    window_->open();
    EXPECT_EQ(Status(), loadedStatus);
    EXPECT_FALSE(window_->timeline()->timeline().empty());

    Load(Project("Empty", {}).Path());
    EXPECT_TRUE(Status().startsWith("Not a valid project directory... ("));
    EXPECT_EQ(window_->projectPathField()->text(), "");
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    EXPECT_TRUE(window_->timeline()->timeline().empty());
}

// ---- Converting ----

// Paths are bytes end to end: names that are not ASCII work everywhere, and names
// that look like markup show as they are.
TEST_F(WindowTest, ConvertsToOneFileAndShowsTheOutcome) {
    ProjectDir& project = Project("<b>Gig & Co – Ærø 日本", kShort, "<i>Tåke & ");
    Load(project.Path());
    EXPECT_EQ(window_->projectPathField()->text(), Q(project.Path()));
    // In Open Recent, "&" is no shortcut marker.
    EXPECT_EQ(shown_.RecentItems().first(), Q(project.Path()).replace("&", "&&"));
    const QString tip =
        window_->takesModel()->data(window_->takesModel()->index(0, 0), Qt::ToolTipRole).toString();
    EXPECT_NE(tip.indexOf(QString::fromUtf8("&lt;i&gt;Tåke &amp; 01.wav")), -1)
        << tip.toStdString();
    // The timeline: a block per event, each with its file and times.
    TimelineWidget* timeline = window_->timeline();
    const QPoint block = timeline->blockRect(1).center();
    EXPECT_EQ(timeline->toolTipAt(block),
              QString::fromUtf8("<i>Tåke & 02.wav\n0:00:02.00 - 0:00:03.00"));
    EXPECT_EQ(timeline->toolTipAt(QPoint(1, 1)), "");  // outside the strip
    QHelpEvent help(QEvent::ToolTip, block, timeline->mapToGlobal(block));
    QCoreApplication::sendEvent(timeline, &help);
    EXPECT_NE(QToolTip::text().indexOf(QString::fromUtf8("&lt;i&gt;Tåke &amp; 02.wav")), -1)
        << QToolTip::text().toStdString();
    fs::create_directories(project / "Out 日本");
    const std::string output = project / "Out 日本/<i>Mïx & 日本.wav";
    Convert({output});
    ASSERT_EQ(dialogs_->saveRequests.size(), 1u);
    EXPECT_EQ(dialogs_->saveRequests[0].proposedName,
              QString::fromUtf8("<b>Gig & Co – Ærø 日本.wav"));
    EXPECT_EQ(dialogs_->saveRequests[0].startDir, Q(project.Root().string()));
    EXPECT_TRUE(window_->progressSheetDialog()->isVisible());

    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_EQ(window_->sheetButton()->text(), "OK");
    EXPECT_EQ(window_->progressBar()->value(), 100);
    EXPECT_FALSE(window_->sheetDetails()->isVisible());  // every take was read
    EXPECT_TRUE(ReadWaveHeader(output).Consistent());
    EXPECT_TRUE(window_->sheetSummary()->text().startsWith(
        Q(output + ": 16 Bit, Stereo, 48000 Hz, 0:00:02.00 (96000 frames), starts at 0:00:01.00")))
        << window_->sheetSummary()->text().toStdString();
    for (const QLabel* label :
         {window_->statusLine(), window_->takesHeading(), window_->sheetText(),
          window_->sheetSummary(), window_->sheetDetails()}) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
    // Without a file manager, "Show in Folder" says so.
    EXPECT_TRUE(window_->showInFolderButton()->isVisible());
    QString shown;
    window_->setFolderOpener([&shown](const QString& folder) {
        shown = folder;
        return false;
    });
    window_->showInFolderButton()->click();
    EXPECT_EQ(shown, Q(project / "Out 日本"));
    EXPECT_EQ(dialogs_->warnings.back(), Q(app::NoFileManagerText(project / "Out 日本")));

    window_->sheetButton()->click();
    EXPECT_FALSE(window_->progressSheetDialog()->isVisible());
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_EQ(window_->findChild<QToolButton*>("openButton")->text(), "Open...");
    Convert({});  // the next panel starts where the output went
    EXPECT_EQ(dialogs_->saveRequests.back().startDir, Q(project / "Out 日本"));
}

TEST_F(WindowTest, DualMonoAsksForTheLeftThenTheRightFile) {
    ProjectDir& project = Project("Gig", kShort);
    Load(project.Path());
    Choose(24, DualMono);
    fs::create_directories(project / "Out");
    const std::string left = project / "Out/same.wav", right = project / "Out/sameR.wav";
    Convert({left, right});
    ASSERT_EQ(dialogs_->saveRequests.size(), 2u);
    const auto& leftPanel = dialogs_->saveRequests[0];
    EXPECT_EQ(leftPanel.title, "Choose Left Channel Filename");
    EXPECT_EQ(leftPanel.label, "Save Left Channel As");
    EXPECT_EQ(leftPanel.startDir, Q(project.Root().string()));
    EXPECT_EQ(leftPanel.proposedName, "GigL.wav");
    const auto& rightPanel = dialogs_->saveRequests[1];
    EXPECT_EQ(rightPanel.title, "Choose Right Channel Filename");
    EXPECT_EQ(rightPanel.label, "Save Right Channel As");
    EXPECT_EQ(rightPanel.startDir, Q(project / "Out"));
    EXPECT_EQ(rightPanel.proposedName, "sameR.wav");  // as the left name goes

    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_TRUE(ReadWaveHeader(left).Consistent());
    EXPECT_TRUE(ReadWaveHeader(right).Consistent());
}

// The window's wiring of the output guards (their rules are tested in tests/app):
// each refusal is an alert, the panel shows again (cancelled here: no word more),
// and nothing is created.
TEST_F(WindowTest, RefusedOutputsCreateNothingAndTakesStayUntouched) {
    ProjectDir& project = Project("Gig", kShort);
    Load(project.Path());
    const std::string take = project.AudioDir() + "/Take 01.wav";
    const std::vector<uint8_t> before = ReadFileBytes(take);
    Convert({take});
    // Dual mono: the left file is checked as soon as its panel returns, the right
    // against the left, and the room for both on the volume the window measures.
    Choose(16, DualMono);
    Convert({take});
    EXPECT_EQ(dialogs_->saveRequests.size(), 4u);
    EXPECT_EQ(dialogs_->saveRequests.back().title, "Choose Left Channel Filename");
    const std::string left = project / "GigL.wav", right = project / "GigR.wav";
    Convert({left, left});
    QString askedAbout;
    window_->setFreeSpaceSource([&askedAbout](const QString& dir) {
        askedAbout = dir;
        return int64_t{0};
    });
    Convert({left, right});
    EXPECT_EQ(askedAbout, Q(project.Root().string()));
    const QString recording = "\"Take 01.wav\" is one of the project's recordings.";
    const QString refusals[] = {recording, recording, app::kSameNames, app::kInsufficientSpace};
    ASSERT_EQ(dialogs_->warnings.size(), std::size(refusals));
    for (size_t i = 0; i < std::size(refusals); ++i) {
        EXPECT_TRUE(dialogs_->warnings[i].startsWith(refusals[i]))
            << dialogs_->warnings[i].toStdString();
    }
    EXPECT_TRUE(dialogs_->replaceQuestions.empty());
    EXPECT_FALSE(window_->sheet().shown());
    EXPECT_TRUE(ReadFileBytes(take) == before);
    EXPECT_FALSE(fs::exists(left) || fs::exists(right));
}

TEST_F(WindowTest, UnreadableTakesAreListedUnderTheOutcome) {
    ProjectDir& project = Project("Gig", kShort);
    Load(project.Path());
    fs::remove(project.AudioDir() + "/Take 02.wav");  // gone after the load
    Convert({project / "Mix.wav"});
    ASSERT_TRUE(WaitForWorker());
    // The headline says the output has a gap.
    EXPECT_EQ(SheetText(), Q(app::CompleteHeadline(1)));
    EXPECT_TRUE(window_->sheetDetails()->isVisible());
    const QString details = window_->sheetDetails()->text();
    EXPECT_NE(details.indexOf("could not be read"), -1) << details.toStdString();
    EXPECT_NE(details.indexOf("Take 02.wav"), -1) << details.toStdString();
    EXPECT_EQ(details.indexOf("Take 01.wav"), -1) << details.toStdString();

    // The next run starts with a clean sheet.
    window_->sheetButton()->click();
    project.Add("Take 02.wav", kShort[1]);
    Convert({project / "Mix2.wav"});
    EXPECT_FALSE(window_->sheetDetails()->isVisible());
    ASSERT_TRUE(WaitForWorker());
    EXPECT_FALSE(window_->sheetDetails()->isVisible());
}

// ---- Stopping a run ----

TEST_F(WindowTest, CancelLeavesAValidShorterFileAndTheNextRunWaitsForIt) {
    ProjectDir& project = Project("Long", kLong);
    Load(project.Path());
    Choose(16, MonoLeft);
    const std::string first = project / "First.wav", second = project / "Second.wav";
    Convert({first});
    EXPECT_EQ(SheetText(), "Converting file...");
    EXPECT_EQ(window_->sheetButton()->text(), "Cancel");
    window_->sheetButton()->click();  // at once, maybe before the worker has begun
    EXPECT_EQ(SheetText(), "Operation cancelled...");
    EXPECT_EQ(window_->sheetButton()->text(), "OK");
    EXPECT_EQ(window_->progressBar()->value(), 0);
    window_->sheetButton()->click();  // OK: the sheet goes, the worker may still run
    EXPECT_FALSE(window_->progressSheetDialog()->isVisible());
    // Until its end has been handled, nothing may reach the driver.
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    EXPECT_FALSE(window_->openAction()->isEnabled());

    // Convert anyway (as a second click that slipped through would): the new output
    // is made only after the first run has closed its file.
    dialogs_->saveFiles.push_back(Q(second));
    window_->convert();
    const WaveHeader firstFile = ReadWaveHeader(first);
    EXPECT_TRUE(firstFile.Consistent());
    EXPECT_LT(firstFile.dataSize, ProjectBytes());
    EXPECT_TRUE(window_->workerRunning());

    // The first run's late end must not decide the second run.
    QCoreApplication::processEvents();
    EXPECT_EQ(window_->sheet().state(), State::Converting);
    EXPECT_EQ(SheetText(), "Converting file...");
    EXPECT_EQ(window_->sheetButton()->text(), "Cancel");

    // Cancelled once it writes: the sheet names the shorter file it kept, and the
    // bar stops at what that holds.
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->progress() > 0.0; }, 60000));
    window_->sheetButton()->click();
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Operation cancelled...");
    EXPECT_EQ(window_->progressSheetDialog()->windowTitle(), "Conversion Cancelled");
    const WaveHeader secondFile = ReadWaveHeader(second);
    EXPECT_TRUE(secondFile.Consistent());
    const uint64_t frames = secondFile.dataSize / 2, span = kLong[1].start + kLong[1].frames;
    EXPECT_GT(frames, 0u);
    EXPECT_EQ(window_->progressBar()->value(), static_cast<int>(100.0 * frames / span));
    const QString kept = window_->sheetSummary()->text();
    EXPECT_TRUE(kept.startsWith(Q("\"" + second + "\" holds the first "))) << kept.toStdString();
    EXPECT_TRUE(kept.endsWith(" of " + QString::number(span) + " frames) of the project"))
        << kept.toStdString();
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_TRUE(window_->openAction()->isEnabled());
}

// A logout, `kill` or Ctrl-C in the terminal (SIGTERM, SIGHUP, SIGINT), closing the
// window, or the end of the application destroying it: a run stops, and is waited
// for, so that the output is closed with a header that matches its samples.
TEST_F(WindowTest, EndingTheWindowDuringARunClosesTheOutput) {
    ProjectDir& project = Project("Long", kLong);
    Load(project.Path());
    Choose(16, MonoLeft);
    const int64_t fullSize = ProjectBytes();
    constexpr int kClose = -1, kDestroy = -2;
    for (const int end : {SIGTERM, SIGHUP, SIGINT, kClose, kDestroy}) {
        SCOPED_TRACE(end);
        window_->show();
        const std::string output = project / ("Ended" + std::to_string(end) + ".wav");
        Convert({output});
        // Well into the run: some blocks are written.
        ASSERT_TRUE(QTest::qWaitFor([this] { return window_->progress() > 0.0; }, 60000));
        if (end == kDestroy) {
            window_.reset();
        } else if (end == kClose) {
            window_->close();
            EXPECT_FALSE(window_->workerRunning());
        } else {
            ::raise(end);  // handled: the test goes on
            ASSERT_TRUE(WaitForWorker());
            EXPECT_FALSE(window_->isVisible());
        }
        const WaveHeader file = ReadWaveHeader(output);
        EXPECT_TRUE(file.Consistent());
        EXPECT_GT(file.dataSize, 0u);
        EXPECT_LT(file.dataSize, static_cast<uint64_t>(fullSize));
        QCoreApplication::processEvents();  // the worker's queued end finds nothing to do
    }
}
