// The window driven as a user would, with scripted answers to its panels: the
// status line, the timeline, conversions to the end, refusals that must create
// nothing, cancels, a Convert right after a cancel, and closing during a run.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ScriptedDialogs.h"
#include "app/qt/AppController.h"
#include "app/qt/TimelineWidget.h"
#include "support/ProjectDir.h"

namespace fs = std::filesystem;
using namespace testsupport;
using State = app::ProgressSheet::State;

namespace {

QString Q(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A project directory `dir` with the takes "Take 01.wav", "Take 02.wav", ...
std::string MakeProject(const fs::path& dir, const std::vector<TakeRecipe>& takes,
                        const std::string& namePrefix = "Take ") {
    fs::create_directories(dir / "Audio Files");
    for (size_t i = 0; i < takes.size(); ++i) {
        const std::string name = namePrefix + "0" + std::to_string(i + 1) + ".wav";
        WriteTake((dir / "Audio Files" / name).string(), takes[i]);
    }
    return dir.string();
}

// Two stereo 24-bit takes at 48 kHz, back to back from 1 s to 3 s.
std::string MakeShortProject(const fs::path& dir) {
    return MakeProject(dir, {NthTake(48000, 48000, 0), NthTake(96000, 48000, 1)});
}

// Two one-second mono takes twenty minutes apart: a long run that writes little
// when it is stopped early.
constexpr uint64_t kLongSpan = 20ull * 60 * 48000 + 48000;
std::string MakeLongProject(const fs::path& dir) {
    return MakeProject(dir,
                       {NthTake(0, 48000, 0, 1, 16), NthTake(kLongSpan - 48000, 48000, 1, 1, 16)});
}

// An output file's header against the file itself.
struct OutputFile {
    bool exists = false;
    uint64_t size = 0;
    uint32_t riffSize = 0;
    uint32_t dataSize = 0;
    bool Valid() const {
        return exists && size >= 1024 && riffSize == size - 8 && dataSize == size - 1024;
    }
};

OutputFile ReadOutput(const std::string& path) {
    OutputFile file;
    std::error_code error;
    file.size = fs::file_size(path, error);
    if (error) return file;
    file.exists = true;
    std::vector<uint8_t> header(1024);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    if (in.gcount() != 1024) return file;
    file.riffSize = Le32(header, 4);
    file.dataSize = Le32(header, 1020);
    return file;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        window_ = std::make_unique<AppController>(std::move(dialogs));
        window_->setFreeSpaceSource([](const QString&) { return int64_t{1} << 50; });
        window_->show();
    }

    void Load(const std::string& dir) {
        dialogs_->directories.push_back(Q(dir));
        window_->open();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window_->loading(); }));
    }
    void Choose(int widthColumn, int channelColumn) {
        window_->widthGroup()->button(widthColumn)->click();
        window_->channelsGroup()->button(channelColumn)->click();
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
        int64_t bytes = 0;
        window_->writer().ProjectSize(bytes);
        return bytes;
    }

    TempDir root_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<AppController> window_;
};

}  // namespace

// ---- The main window ----

TEST_F(WindowTest, StatusLineFollowsTheProjectAndBothChoices) {
    EXPECT_EQ(Status(), "16 Bit, Stereo");
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    Choose(1, 1);
    EXPECT_EQ(Status(), "24 Bit, Mono Left");

    const std::string project = MakeShortProject(root_.Path() / "Gig");
    Load(project);
    ASSERT_EQ(dialogs_->directoryStarts.size(), 1u);
    EXPECT_EQ(dialogs_->directoryStarts[0], QDir::homePath());
    EXPECT_EQ(window_->projectPathField()->text(), Q(project));
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_EQ(Status(), "24 Bit, Mono Left, 48.0Khz,  0:00:01.00- 0:00:03.00, 288 KB");

    Choose(1, 0);
    EXPECT_EQ(Status(), "24 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:03.00, 576 KB");
    Choose(0, 3);
    EXPECT_EQ(Status(), "16 Bit, Mono Summed (L+R), 48.0Khz,  0:00:01.00- 0:00:03.00, 192 KB");
    // The driver converts what the line says.
    EXPECT_EQ(window_->writer().bitWidth, 16);
    EXPECT_EQ(window_->writer().outType, MonoSummed);
    Choose(0, 4);
    EXPECT_EQ(Status(), "16 Bit, Dual Mono, 48.0Khz,  0:00:01.00- 0:00:03.00, 384 KB");
}

TEST_F(WindowTest, ATakeFarOutOnTheTimelineShowsNoWrongFigure) {
    const struct {
        uint64_t start;
        const char* status;
    } cases[] = {
        // Random bytes over 'bext': refused, the rest of the project shows.
        {3229793259066718542u, "16 Bit, Stereo, 48.0Khz,  0:00:01.00- 0:00:02.00, 192 KB"},
        // Its last frame is the timeline's last: every figure exact.
        {(uint64_t{1} << 40) - 48000,
         "16 Bit, Stereo, 48.0Khz,  0:00:01.00-6362:54:52.24, 4398046 MB"},
    };
    for (const auto& c : cases) {
        Load(MakeProject(root_.Path() / std::to_string(c.start),
                         {NthTake(48000, 48000, 0), NthTake(c.start, 48000, 1)}));
        EXPECT_EQ(Status(), c.status);
    }
}

TEST_F(WindowTest, FailedLoadEmptiesPathTimelineAndConvert) {
    Load(MakeShortProject(root_.Path() / "Gig"));
    const QString loadedStatus = Status();

    dialogs_->directories.push_back(std::nullopt);  // a cancelled panel changes nothing
    window_->open();
    EXPECT_EQ(Status(), loadedStatus);
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_FALSE(window_->timeline()->timeline().empty());

    fs::create_directories(root_.Path() / "Empty" / "Audio Files");
    Load((root_.Path() / "Empty").string());
    EXPECT_TRUE(Status().startsWith("Not a valid project directory... ("));
    EXPECT_EQ(window_->projectPathField()->text(), "");
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    EXPECT_TRUE(window_->timeline()->timeline().empty());
}

TEST_F(WindowTest, TimelineShowsOneBlockPerEventWithItsFileAndTimes) {
    // Take 02 is punched in inside Take 01, which it splits in two.
    const std::string project = MakeProject(
        root_.Path() / "Gig", {NthTake(48000, 3 * 48000, 0), NthTake(2 * 48000, 48000 / 2, 1)});
    Load(project);
    int events = 0;
    for (const AudioEvent* e = window_->writer().edl->firstEvent; e != nullptr; e = e->next) {
        ++events;
    }
    TimelineWidget* timeline = window_->timeline();
    ASSERT_EQ(events, 3);
    ASSERT_EQ(static_cast<int>(timeline->timeline().blocks.size()), events);

    timeline->resize(800, timeline->height());
    const QRect middle = timeline->blockRect(1);
    ASSERT_TRUE(middle.isValid());
    EXPECT_GT(timeline->blockRect(2).left(), middle.left());
    EXPECT_EQ(timeline->toolTipAt(middle.center()), "Take 02.wav\n0:00:02.00 - 0:00:02.50");
    EXPECT_TRUE(timeline->toolTipAt(timeline->blockRect(0).center()).startsWith("Take 01.wav\n"));
    EXPECT_EQ(timeline->toolTipAt(QPoint(1, 1)), "");  // outside the strip
}

// ---- Converting ----

TEST_F(WindowTest, ConvertsToOneFileAndShowsTheOutcome) {
    Load(MakeShortProject(root_.Path() / "Gig"));
    const std::string output = root_ / "Mix.wav";
    Convert({output});
    ASSERT_EQ(dialogs_->saveRequests.size(), 1u);
    EXPECT_EQ(dialogs_->saveRequests[0].proposedName, "Gig.wav");
    EXPECT_EQ(dialogs_->saveRequests[0].startDir, Q(root_.Path().string()));
    EXPECT_TRUE(window_->progressSheetDialog()->isVisible());

    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_EQ(window_->sheetButton()->text(), "Ok");
    EXPECT_EQ(window_->progressBar()->value(), 100);
    EXPECT_FALSE(window_->sheetDetails()->isVisible());
    const OutputFile file = ReadOutput(output);
    EXPECT_TRUE(file.Valid());
    EXPECT_EQ(file.dataSize, ProjectBytes());

    window_->sheetButton()->click();
    EXPECT_FALSE(window_->progressSheetDialog()->isVisible());
    EXPECT_EQ(window_->sheet().state(), State::Closed);
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_EQ(window_->findChild<QToolButton*>("openButton")->text(), "Open...");
}

TEST_F(WindowTest, DualMonoAsksForTheLeftThenTheRightFile) {
    Load(MakeShortProject(root_.Path() / "Gig"));
    Choose(1, 4);
    fs::create_directories(root_.Path() / "Out");
    const std::string left = root_ / "Out/GigL.wav", right = root_ / "Out/GigR.wav";
    Convert({left, right});
    ASSERT_EQ(dialogs_->saveRequests.size(), 2u);
    const auto& leftPanel = dialogs_->saveRequests[0];
    EXPECT_EQ(leftPanel.title, "Choose Left Channel Filename");
    EXPECT_EQ(leftPanel.label, "Save Left Channel As");
    EXPECT_EQ(leftPanel.startDir, Q(root_.Path().string()));
    EXPECT_EQ(leftPanel.proposedName, "GigL.wav");
    const auto& rightPanel = dialogs_->saveRequests[1];
    EXPECT_EQ(rightPanel.title, "Choose Right Channel Filename");
    EXPECT_EQ(rightPanel.label, "Save Right Channel As");
    EXPECT_EQ(rightPanel.startDir, Q(root_ / "Out"));
    EXPECT_EQ(rightPanel.proposedName, "GigR.wav");

    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    for (const std::string& path : {left, right}) {
        const OutputFile file = ReadOutput(path);
        EXPECT_TRUE(file.Valid()) << path;
        EXPECT_EQ(file.dataSize, ProjectBytes() / 2) << path;
    }
}

TEST_F(WindowTest, EqualNamesAndTooLittleRoomCreateNothing) {
    Load(MakeShortProject(root_.Path() / "Gig"));
    const std::string left = root_ / "GigL.wav", right = root_ / "GigR.wav";
    Choose(0, 4);
    Convert({left, left});
    ASSERT_EQ(dialogs_->warnings.size(), 1u);
    EXPECT_EQ(dialogs_->warnings.back(), "Left and Right filenames cannot be the same.");
    EXPECT_FALSE(fs::exists(left));

    // Exactly the size plus the margin is not enough; unknown free space neither.
    const int64_t needed = static_cast<int64_t>(app::RoomNeeded(ProjectBytes()));
    QString askedAbout;
    for (int64_t free : {needed, int64_t{-1}}) {
        window_->setFreeSpaceSource([free, &askedAbout](const QString& dir) {
            askedAbout = dir;
            return free;
        });
        Convert({left, right});  // refused, then the right panel again: cancelled
        EXPECT_TRUE(dialogs_->warnings.back().startsWith(
            "Insufficient disk space. \"GigL.wav\" and \"GigR.wav\" need "));
        EXPECT_EQ(askedAbout, Q(root_.Path().string()));
        EXPECT_FALSE(fs::exists(left));
        EXPECT_FALSE(fs::exists(right));
    }
    EXPECT_EQ(dialogs_->warnings.size(), 3u);
    EXPECT_FALSE(window_->sheet().shown());

    // One byte more, and the run goes.
    window_->setFreeSpaceSource([needed](const QString&) { return needed + 1; });
    Convert({left, right});
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_EQ(dialogs_->warnings.size(), 3u);

    // A cancelled panel ends the flow without a word.
    window_->sheetButton()->click();
    window_->convertButton()->click();  // no answers ready: the left panel is cancelled
    EXPECT_EQ(dialogs_->warnings.size(), 3u);
    EXPECT_FALSE(window_->sheet().shown());
}

TEST_F(WindowTest, RecordingsAreNeverOverwritten) {
    const std::string project = MakeShortProject(root_.Path() / "Gig");
    Load(project);
    const std::string take = project + "/Audio Files/Take 01.wav";
    const std::vector<uint8_t> before = ReadFileBytes(take);
    const auto expectRefused = [&](const std::string& what) {
        ASSERT_FALSE(dialogs_->warnings.empty()) << what;
        EXPECT_FALSE(window_->sheet().shown()) << what;
        EXPECT_TRUE(ReadFileBytes(take) == before) << what;
    };

    Convert({take});
    expectRefused("the take itself");
    EXPECT_EQ(dialogs_->warnings.back(),
              "\"Take 01.wav\" is one of the project's recordings. Choose another file for the "
              "output, so that the recording is not overwritten.");

    Convert({project + "/Audio Files/../Audio Files/Take 01.wav"});
    expectRefused("the take spelt another way");

    Convert({project + "/Audio Files/Mix.wav"});
    expectRefused("a new file among the takes");
    EXPECT_FALSE(fs::exists(project + "/Audio Files/Mix.wav"));

    // Dual mono: a take as the left file is refused as soon as the panel returns,
    // never offered for replacing, and the left panel shows again (cancelled here);
    // a right file that is the left one under another name is refused too.
    Choose(0, 4);
    const size_t panels = dialogs_->saveRequests.size();
    Convert({take});
    expectRefused("a take as the left file");
    EXPECT_EQ(dialogs_->saveRequests.size(), panels + 2);
    EXPECT_EQ(dialogs_->saveRequests.back().title, "Choose Left Channel Filename");
    EXPECT_TRUE(dialogs_->replaceQuestions.empty());

    const std::string left = root_ / "MixL.wav";
    Convert({left, root_ / "./MixL.wav"});
    expectRefused("one file as left and right");
    EXPECT_NE(dialogs_->warnings.back().indexOf("\"MixL.wav\""), -1);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(dialogs_->warnings.size(), 5u);
}

TEST_F(WindowTest, AFolderThatCannotTakeTheOutputIsNamedWithTheReason) {
    Load(MakeShortProject(root_.Path() / "Gig"));
    // Whatever the free space (none here), the folder is the reason given.
    window_->setFreeSpaceSource([](const QString&) { return int64_t{0}; });
    Convert({root_ / "no such folder/Mix.wav"});
    ASSERT_EQ(dialogs_->warnings.size(), 1u);
    EXPECT_EQ(dialogs_->warnings[0],
              Q("The folder \"" + (root_ / "no such folder") + "\" does not exist."));
    EXPECT_FALSE(window_->sheet().shown());
    EXPECT_TRUE(window_->convertButton()->isEnabled());
}

TEST_F(WindowTest, UnreadableTakesAreListedUnderTheOutcome) {
    const std::string project = MakeShortProject(root_.Path() / "Gig");
    Load(project);
    fs::remove(project + "/Audio Files/Take 02.wav");  // gone after the load
    Convert({root_ / "Mix.wav"});
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_TRUE(window_->sheetDetails()->isVisible());
    const QString details = window_->sheetDetails()->text();
    EXPECT_NE(details.indexOf("could not be read"), -1) << details.toStdString();
    EXPECT_NE(details.indexOf("Take 02.wav"), -1) << details.toStdString();
    EXPECT_EQ(details.indexOf("Take 01.wav"), -1) << details.toStdString();
    EXPECT_TRUE(ReadOutput(root_ / "Mix.wav").Valid());

    // The next run starts with a clean sheet.
    window_->sheetButton()->click();
    WriteTake(project + "/Audio Files/Take 02.wav", NthTake(96000, 48000, 1));
    Convert({root_ / "Mix2.wav"});
    EXPECT_FALSE(window_->sheetDetails()->isVisible());
    ASSERT_TRUE(WaitForWorker());
    EXPECT_FALSE(window_->sheetDetails()->isVisible());
}

TEST_F(WindowTest, NonAsciiFolderAndFileNamesWork) {
    const std::string project =
        MakeProject(root_.Path() / "Gig – Ærø 日本",
                    {NthTake(48000, 48000, 0), NthTake(96000, 48000, 1)}, "Tåke ");
    Load(project);
    EXPECT_EQ(window_->projectPathField()->text(), Q(project));
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_TRUE(window_->timeline()
                    ->toolTipAt(window_->timeline()->blockRect(0).center())
                    .startsWith(QString::fromUtf8("Tåke 01.wav")));

    const std::string output = root_ / "Mïx 日本.wav";
    Convert({output});
    EXPECT_EQ(dialogs_->saveRequests.back().proposedName, QString::fromUtf8("Gig – Ærø 日本.wav"));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Conversion complete...");
    EXPECT_FALSE(window_->sheetDetails()->isVisible());  // every take was read
    const OutputFile file = ReadOutput(output);
    EXPECT_TRUE(file.Valid());
    EXPECT_EQ(file.dataSize, ProjectBytes());
}

// ---- Stopping a run ----

// What the engine promises the window: a stop requested after the output was made
// but before the worker began still ends the run at once, with a valid file.
TEST(StopRequest, AStopBeforeTheRunBeginsIsHonoured) {
    TempDir root;
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(MakeLongProject(root.Path() / "Long").c_str()), 1);
    const std::string output = root / "out.wav";
    ASSERT_EQ(writer.NewFile(output.c_str()), 1);
    writer.stopRequested = true;
    std::atomic<double> progress{0.0};
    writer.doConvert(progress);
    const OutputFile file = ReadOutput(output);
    EXPECT_TRUE(file.Valid());
    EXPECT_EQ(file.dataSize, 0u);
    EXPECT_EQ(progress.load(), 0.0);
}

TEST_F(WindowTest, CancelStopsTheRunAndLeavesAValidShorterFile) {
    Load(MakeLongProject(root_.Path() / "Long"));
    Choose(0, 1);
    const std::string output = root_ / "Long.wav";
    Convert({output});
    EXPECT_EQ(SheetText(), "Converting file...");
    EXPECT_EQ(window_->sheetButton()->text(), "Cancel");

    window_->sheetButton()->click();  // at once, maybe before the worker has begun
    EXPECT_EQ(SheetText(), "Operation cancelled...");
    EXPECT_EQ(window_->sheetButton()->text(), "Ok");
    EXPECT_EQ(window_->progressBar()->value(), 0);
    ASSERT_TRUE(WaitForWorker());
    // The worker's end changes nothing on the sheet.
    EXPECT_EQ(SheetText(), "Operation cancelled...");
    EXPECT_EQ(window_->progressBar()->value(), 0);
    EXPECT_TRUE(window_->progressSheetDialog()->isVisible());

    const OutputFile file = ReadOutput(output);
    EXPECT_TRUE(file.Valid());
    EXPECT_LT(file.dataSize, ProjectBytes());
    window_->sheetButton()->click();
    EXPECT_FALSE(window_->progressSheetDialog()->isVisible());
}

TEST_F(WindowTest, ConvertRightAfterACancelWaitsForTheCancelledRun) {
    Load(MakeLongProject(root_.Path() / "Long"));
    Choose(0, 1);
    const std::string first = root_ / "First.wav", second = root_ / "Second.wav";
    Convert({first});
    window_->sheetButton()->click();  // Cancel
    window_->sheetButton()->click();  // Ok: the sheet goes, the worker may still run
    EXPECT_FALSE(window_->progressSheetDialog()->isVisible());
    // Until its end has been handled, nothing may reach the driver.
    EXPECT_FALSE(window_->convertButton()->isEnabled());
    EXPECT_FALSE(window_->openAction()->isEnabled());

    // Convert anyway (as a second click that slipped through would): the new output
    // is made only after the first run has closed its file.
    dialogs_->saveFiles.push_back(Q(second));
    window_->convert();
    const OutputFile firstFile = ReadOutput(first);
    EXPECT_TRUE(firstFile.Valid());
    EXPECT_LT(firstFile.dataSize, ProjectBytes());
    EXPECT_TRUE(window_->workerRunning());
    EXPECT_EQ(SheetText(), "Converting file...");

    // The first run's late end must not decide the second run.
    QCoreApplication::processEvents();
    EXPECT_EQ(window_->sheet().state(), State::Converting);
    EXPECT_EQ(SheetText(), "Converting file...");
    EXPECT_EQ(window_->sheetButton()->text(), "Cancel");

    window_->sheetButton()->click();
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(SheetText(), "Operation cancelled...");
    EXPECT_TRUE(ReadOutput(second).Valid());
    EXPECT_TRUE(window_->convertButton()->isEnabled());
    EXPECT_TRUE(window_->openAction()->isEnabled());
}

// Closing the window, or the end of the application destroying it, stops a run
// and waits for it: the output is closed with a header that matches its samples.
TEST_F(WindowTest, EndingTheWindowDuringARunClosesTheOutput) {
    Load(MakeLongProject(root_.Path() / "Long"));
    Choose(0, 1);
    const int64_t fullSize = ProjectBytes();
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "closed");
        const std::string output = root_ / (destroy ? "Destroyed.wav" : "Closed.wav");
        Convert({output});
        // Well into the run: some blocks are written.
        ASSERT_TRUE(QTest::qWaitFor([this] { return window_->progress() > 0.0; }, 60000));
        if (destroy) {
            window_.reset();
        } else {
            window_->close();
            EXPECT_FALSE(window_->workerRunning());
        }
        const OutputFile file = ReadOutput(output);
        EXPECT_TRUE(file.Valid());
        EXPECT_GT(file.dataSize, 0u);
        EXPECT_LT(file.dataSize, fullSize);
        QCoreApplication::processEvents();  // the worker's queued end finds nothing to do
    }
}
