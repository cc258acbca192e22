// The window's details for daily use: the takes panel (refusals counted, any
// order, takes at another rate marked), the timeline's drawing and keys, paths
// that are not there, and the first size on a small screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTableView>
#include <filesystem>

#include "ScriptedWindow.h"
#include "app/AppDecisions.h"
#include "gui/TakesModel.h"
#include "gui/TimelineWidget.h"
#include "support/ProjectDir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The colour of the timeline's pixel at `point`, and the fill of take `take`'s
// blocks as the timeline's palette makes it.
QColor PixelAt(QWidget* widget, const QPoint& point) {
    return widget->grab().toImage().pixelColor(point);
}
QColor FillOf(QWidget* widget, int take) {
    const QColor base = widget->palette().color(QPalette::Base);
    const QColor text = widget->palette().color(QPalette::Text);
    const app::Rgb fill = app::TakeBlockColours(take, {base.red(), base.green(), base.blue()},
                                                {text.red(), text.green(), text.blue()})
                              .fill;
    return QColor(fill.red, fill.green, fill.blue);
}

}  // namespace

TEST(WindowDetails, TheTakesPanelCountsSortsAndMarks) {
    ProjectDir project;
    project.Add("A.wav", NthTake(3 * 48000, 48000, 0));
    project.Add("B.wav", NthTake(48000, 48000, 1));
    WriteFileBytes(project.AudioDir() + "/notes.txt", {'h', 'i'});
    Window window;
    ASSERT_TRUE(window.Open(project.Path()));
    EXPECT_EQ(window->takesHeading()->text(), "1 of 3 entries refused");

    // Room to spare goes to the reasons, not to the recording times; without room
    // to spare, the list scrolls rather than cut them.
    QHeaderView* header = window->takesView()->horizontalHeader();
    window->resize(1400, 800);
    EXPECT_GT(header->sectionSize(TakesModel::Status),
              2 * header->sectionSize(TakesModel::Recorded));
    window->resize(700, 500);
    EXPECT_GT(header->sectionSize(TakesModel::Status),
              header->fontMetrics().horizontalAdvance("refused: not a WAVE file"));

    // Sorted by start, the list and the timeline still select each other's take.
    window->takesView()->sortByColumn(TakesModel::Start, Qt::AscendingOrder);
    window->takesView()->selectRow(0);
    EXPECT_EQ(window->timeline()->selectedRow(), 1);  // B, the earlier take
    QTest::mouseClick(window->timeline(), Qt::LeftButton, {},
                      window->timeline()->blockRect(1).center());  // A's block
    EXPECT_EQ(window->takesView()->currentIndex().row(), 1);
    EXPECT_EQ(window->timeline()->selectedRow(), 0);
    window->takesView()->sortByColumn(TakesModel::Name, Qt::DescendingOrder);
    EXPECT_EQ(window->takesView()->model()->index(0, 0).data().toString(), "notes.txt");

    ASSERT_TRUE(window.Convert(project / "Mix.wav"));
    EXPECT_NE(window->sheetSummary()->text().indexOf(
                  "1 of 3 entries refused; they are not in the output"),
              -1);
    window->sheetButton()->click();

    // A take at another rate is counted apart (its row's words are tested in tests/app).
    TakeRecipe other = NthTake(0, 44100, 2);
    other.rate = 44100;
    project.Add("C.wav", other);
    ASSERT_TRUE(window.Open(project.Path()));
    EXPECT_EQ(window->takesHeading()->text(), "1 of 4 entries refused, 1 take at another rate");
}

TEST(WindowDetails, TheTimelineShowsShortEventsAndTakesTheKeyboard) {
    // A punch-in of ten frames splits a ten-second take.
    ProjectDir project;
    project.Add("A.wav", NthTake(0, 480000, 0));
    project.Add("B.wav", NthTake(240000, 10, 1));
    Window window;
    ASSERT_TRUE(window.Open(project.Path()));
    TimelineWidget* timeline = window->timeline();
    ASSERT_EQ(timeline->timeline().blocks.size(), 3u);
    timeline->resize(800, timeline->height());
    // The punch-in keeps a pixel of its own, in its own colour.
    const QRect punch = timeline->blockRect(1);
    EXPECT_EQ(punch.width(), 1);
    EXPECT_FALSE(punch.intersects(timeline->blockRect(0)) ||
                 punch.intersects(timeline->blockRect(2)));
    EXPECT_EQ(PixelAt(timeline, punch.topLeft() + QPoint(0, 2)), FillOf(timeline, 1));
    // Where the view cuts a take, its block is not slanted as if it faded in.
    timeline->zoom(64, timeline->blockRect(0).center().x());
    const QRect cut = timeline->blockRect(0);
    EXPECT_EQ(PixelAt(timeline, cut.topLeft() + QPoint(1, 2)), FillOf(timeline, 0));

    // Ctrl++ and Ctrl+- zoom; with the focus, the arrow keys, Home and End move along.
    timeline->fitToWindow();
    const double whole = timeline->framesPerPixel();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.controller.get()));
    QTest::keyClick(window.controller.get(), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(timeline->framesPerPixel(), whole / 2);
    timeline->setFocus();
    QTest::keyClick(timeline, Qt::Key_Right);
    EXPECT_GT(timeline->firstFrame(), 0);
    QTest::keyClick(timeline, Qt::Key_End);
    EXPECT_GT(timeline->firstFrame(), 200000);
    QTest::keyClick(timeline, Qt::Key_Home);
    EXPECT_EQ(timeline->firstFrame(), 0);
    QTest::keyClick(timeline, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_TRUE(timeline->fitted());

    // Tab goes into the takes list once and out at the next Tab.
    window->takesView()->setFocus();
    QTest::keyClick(window->takesView(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->convertButton());
}

// The program's argument, a Recent entry or a typed path that names nothing.
TEST(WindowDetails, APathThatIsNotThereIsNamedAndTheProjectStays) {
    ProjectDir project("Gig"), gone("Gone"), typed("Typed");
    for (ProjectDir* p : {&project, &gone, &typed}) p->Add("A.wav", NthTake(0, 4800, 0));
    Window window;
    ASSERT_TRUE(window.Open(gone.Path()));
    ASSERT_TRUE(window.Open(project.Path()));
    const QString status = window->statusLine()->text();
    const auto expectStill = [&](const std::string& missing) {
        EXPECT_EQ(window.dialogs->warnings.back(), Q(app::MissingPathText(missing)));
        EXPECT_EQ(window->windowTitle(), "Gig");
        EXPECT_EQ(window->statusLine()->text(), status);
        EXPECT_TRUE(window->convertButton()->isEnabled());
    };
    EXPECT_FALSE(window->openProject("/no/such/Gig"));
    expectStill("/no/such/Gig");

    fs::remove_all(gone.Path());
    window->recentMenu()->actions()[1]->trigger();
    expectStill(gone.Path());
    EXPECT_EQ(window.RecentItems(), QStringList({Q(project.Path()), "", "&Clear Menu"}));

    // The project field opens what is typed there on Enter.
    window->projectPathField()->setText("~/no such project");
    QTest::keyClick(window->projectPathField(), Qt::Key_Return);
    expectStill(QDir::homePath().toStdString() + "/no such project");
    // What was typed but not opened goes when the focus moves on.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.controller.get()));
    window->projectPathField()->setFocus();
    window->projectPathField()->setText(Q(typed.Path()));
    window->convertButton()->setFocus();
    EXPECT_EQ(window->projectPathField()->text(), Q(project.Path()));
    window->projectPathField()->setText(Q(typed.Path()));
    QTest::keyClick(window->projectPathField(), Qt::Key_Return);
    ASSERT_TRUE(window.Loaded());
    EXPECT_EQ(window->windowTitle(), "Typed");
}

// At QT_SCALE_FACTOR=2 a 1600x1000 screen holds 800x500 of the window's pixels.
TEST(WindowDetails, TheFirstSizeFitsTheScreen) {
    Window window;
    window->fitFirstSize(QSize(800, 500));
    EXPECT_LE(window->width(), 800 - app::kWindowFrame.width);
    EXPECT_LE(window->height(), 500 - app::kWindowFrame.height);
    window->layout()->activate();
    const QPushButton* convert = window->convertButton();
    EXPECT_TRUE(window->rect().contains(
        QRect(convert->mapTo(window.controller.get(), QPoint()), convert->size())));
}
