// File > Export Ardour Session... in the window: the folder it makes in the one
// chosen, the progress dialog that ends with the outcome, and the refusal of a
// folder that is taken. (What a session holds is tested in ArdourSessionTest and,
// in Ardour itself, in tests/cli/ArdourTest.)
#include <gtest/gtest.h>

#include <QProgressDialog>
#include <filesystem>

#include "ScriptedWindow.h"
#include "support/ProjectDir.h"

using namespace testsupport;

TEST(ArdourExportWindow, WritesTheSessionBehindAProgressDialogAndRefusesATakenFolder) {
    ProjectDir project("Gig");
    project.AddAll({NthTake(0, 96000, 0), NthTake(48000, 4800, 1, 1, 16)});
    Window window;
    EXPECT_FALSE(window->exportSessionAction()->isEnabled()) << "no project yet";
    ASSERT_TRUE(window.Open(project.Path()));
    ASSERT_TRUE(window->exportSessionAction()->isEnabled());

    const QString where = Q(project.Root().string());
    window.dialogs->directories = {where, where};
    window->exportSessionAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->sessionRunning(); }, 60000));
    QTest::qWait(50);  // the queued end of the worker
    const std::string session = project / "Gig Ardour";
    EXPECT_TRUE(std::filesystem::exists(session + "/Gig.ardour"));
    EXPECT_TRUE(std::filesystem::exists(session + "/interchange/Gig/audiofiles/Take 02.wav"));
    ASSERT_NE(window->sessionDialog(), nullptr);
    EXPECT_TRUE(window->sessionDialog()->labelText().startsWith("Ardour session written"))
        << window->sessionDialog()->labelText().toStdString();
    EXPECT_TRUE(window->exportSessionAction()->isEnabled());

    // The same place again: the folder is taken, and nothing starts.
    window->exportSessionAction()->trigger();
    EXPECT_FALSE(window->sessionRunning());
    ASSERT_EQ(window.dialogs->warnings.size(), 1u);
    EXPECT_TRUE(window.dialogs->warnings[0].contains("is not empty"))
        << window.dialogs->warnings[0].toStdString();
}
