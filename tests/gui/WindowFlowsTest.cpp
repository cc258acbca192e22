// The window for daily use, driven as a user would: dropping a project, the
// timeline following the takes panel, what is remembered for the next start,
// markers at takes, and a folder of projects converted together.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <filesystem>

#include "ScriptedWindow.h"
#include "app/Version.h"
#include "audiofile/kxFile.h"
#include "gui/BatchWindow.h"
#include "gui/TakesModel.h"
#include "gui/TimelineWidget.h"
#include "platform/Paths.h"
#include "support/ProjectDir.h"
#include "support/WaveHeader.h"

using namespace testsupport;

TEST(WindowFlows, ADroppedProjectListsEveryEntryAndSelectsAcrossPanels) {
    ProjectDir project;
    project.Add("A.wav", NthTake(48000, 48000, 0));
    const std::string take = project.Add("B.wav", NthTake(4 * 48000, 48000, 1));
    WriteFileBytes(project.AudioDir() + "/notes.txt", {'h', 'i'});
    Window window;
    window.Drop(project.AudioDir() + "/" + take);  // stands for its project
    ASSERT_TRUE(window.Loaded());
    EXPECT_EQ(window->projectPathField()->text(), Q(project.Path()));
    EXPECT_EQ(window->windowTitle(), Q(paths::LastComponent(project.Path())));

    const TakesModel& model = *window->takesModel();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.cellText(model.rows()[2], TakesModel::Status), "refused: not a WAVE file");
    EXPECT_EQ(model.cellText(model.rows()[1], TakesModel::Start), "0:00:04.00");

    // Zoomed in on A, selecting B brings it into view; Fit to Window shows all.
    TimelineWidget* timeline = window->timeline();
    const double whole = timeline->framesPerPixel();
    timeline->zoom(16, timeline->blockRect(0).center().x());
    EXPECT_DOUBLE_EQ(timeline->framesPerPixel(), whole / 16);
    EXPECT_FALSE(timeline->blockRect(1).isValid());
    window->takesView()->selectRow(1);
    EXPECT_TRUE(timeline->blockRect(1).isValid());
    timeline->fitToWindow();
    EXPECT_TRUE(timeline->fitted());
    EXPECT_DOUBLE_EQ(timeline->framesPerPixel(), whole);
}

TEST(WindowFlows, ChoicesFoldersAndRecentProjectsAreRemembered) {
    ProjectDir first, second;
    first.Add("A.wav", NthTake(0, 4800, 0));
    second.Add("A.wav", NthTake(0, 4800, 0));
    {
        Window window;
        ASSERT_TRUE(window.Open(first.Path()));
        ASSERT_TRUE(window.Open(second.Path()));
        window->widthGroup()->button(24)->click();
        window->channelsGroup()->button(MonoSummed)->click();
        EXPECT_EQ(window.RecentItems(),
                  QStringList({Q(second.Path()), Q(first.Path()), "", "&Clear Menu"}));
    }

    Window next;
    EXPECT_EQ(next->widthGroup()->checkedId(), 24);
    EXPECT_EQ(next->channelsGroup()->checkedId(), MonoSummed);
    // The open panel starts beside the project opened last.
    next.dialogs->directories.push_back(std::nullopt);
    next->open();
    EXPECT_EQ(next.dialogs->directoryStarts.back(), Q(paths::Folder(second.Path())));
    next->recentMenu()->actions()[1]->trigger();
    ASSERT_TRUE(next.Loaded());
    EXPECT_EQ(next->projectPathField()->text(), Q(first.Path()));
    EXPECT_EQ(next.RecentItems().first(), Q(first.Path()));
    next->recentMenu()->actions().last()->trigger();  // Clear Menu
    EXPECT_EQ(Window().RecentItems(), QStringList({"", "&Clear Menu"}));
}

// Earlier versions kept the format as the columns of the buttons; they are read
// once, and the format is saved by name from then on.
TEST(WindowFlows, FormatSettingsOfEarlierVersionsAreReadOnceAndKeptByName) {
    {
        QSettings old(QStringLiteral(PROJ2WAV_APP_ID), QStringLiteral("proj2wav"));
        old.setValue(QStringLiteral("output/width"), 1);
        old.setValue(QStringLiteral("output/channels"), 3);
    }
    {
        Window window;
        EXPECT_EQ(window->widthGroup()->checkedId(), 24);
        EXPECT_EQ(window->channelsGroup()->checkedId(), MonoSummed);
        window->channelsGroup()->button(DualMono)->click();
    }
    const QSettings store(QStringLiteral(PROJ2WAV_APP_ID), QStringLiteral("proj2wav"));
    EXPECT_FALSE(store.contains(QStringLiteral("output/width")));
    EXPECT_FALSE(store.contains(QStringLiteral("output/channels")));
    EXPECT_EQ(store.value(QStringLiteral("output/bits")).toInt(), 24);
    EXPECT_EQ(store.value(QStringLiteral("output/layout")).toString(), QStringLiteral("dual"));
    EXPECT_EQ(Window()->channelsGroup()->checkedId(), DualMono);
}

TEST(WindowFlows, MarkersAtTakesAreRememberedAndWritten) {
    ProjectDir project;
    project.Add("A.wav", NthTake(0, 48000, 0));
    project.Add("B.wav", NthTake(2 * 48000, 48000, 1));
    TempDir out;
    const std::string output = out / "Marked.wav";
    {
        Window window;
        ASSERT_TRUE(window.Open(project.Path()));
        window->markersBox()->click();
        EXPECT_TRUE(window->commandLine().endsWith(" --markers"));
        ASSERT_TRUE(window.Convert(output));
        // The size that tells a left file of dual mono that was made from one that was not.
        EXPECT_EQ(std::filesystem::file_size(output),
                  window->session().Plan(window->format()).headerBytes + 3 * 48000 * 4);
    }
    EXPECT_TRUE(Window()->markersBox()->isChecked());

    WaveDescription description;
    ASSERT_EQ(kxFile::Describe(output, description), TakeProblem::None);
    EXPECT_EQ(description.markers, (std::vector<WaveMarker>{{0, "A"}, {2 * 48000, "B"}}));
}

TEST(WindowFlows, AFolderOfProjectsIsConvertedTogether) {
    TempDir disk, out;
    for (const char* name : {"One", "Two"}) {
        std::filesystem::create_directories(disk / (std::string(name) + "/Audio Files"));
        WriteTake(disk / (std::string(name) + "/Audio Files/a.wav"), NthTake(0, 24000, 0));
    }
    std::filesystem::create_directories(disk / "Empty/Audio Files");  // no take: unchecked
    Window window;
    window->openProjectsFolder(Q(disk.Path().string()));
    BatchWindow* batch = window->batchWindow();
    ASSERT_NE(batch, nullptr);
    ASSERT_EQ(batch->table()->rowCount(), 3);
    EXPECT_EQ(batch->table()->item(0, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(batch->table()->item(1, 0)->checkState(), Qt::Checked);
    EXPECT_TRUE(batch->table()->item(1, 1)->text().startsWith("16 Bit, Stereo, 48.0Khz"));

    window.dialogs->directories.push_back(Q(out.Path().string()));
    batch->convertButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([batch] { return batch->batch() != nullptr; }, 60000));
    for (const char* name : {"One", "Two"}) {
        EXPECT_TRUE(ReadWaveHeader(out / (std::string(name) + ".wav")).Consistent()) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(out / "Empty.wav"));
    EXPECT_EQ(batch->table()->columnCount(), 5);  // the end table
    EXPECT_EQ(batch->table()->item(0, 3)->text(), "converted");
    EXPECT_EQ(batch->table()->item(1, 3)->text(), "converted");
    EXPECT_EQ(batch->overallBar()->value(), 100);
}
