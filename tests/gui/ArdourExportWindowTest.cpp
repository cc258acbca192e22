// File > Export Ardour Session... in the window: the folder it makes in the one
// chosen, the progress dialog that ends with the outcome, and the refusal of a
// folder that is taken. (What a session holds is tested in ArdourSessionTest and,
// in Ardour itself, in tests/cli/ArdourTest.)
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QProgressDialog>
#include <QTest>
#include <filesystem>

// GCC 12 takes the scripted dialogs' optional answers for uninitialized when they
// are inlined here (a false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "ScriptedDialogs.h"
#pragma GCC diagnostic pop
#include "gui/AppController.h"
#include "support/ProjectDir.h"

using namespace testsupport;

TEST(ArdourExportWindow, WritesTheSessionBehindAProgressDialogAndRefusesATakenFolder) {
    ProjectDir project("Gig");
    project.AddAll({NthTake(0, 96000, 0), NthTake(48000, 4800, 1, 1, 16)});
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *scripted;
    AppController window(std::move(scripted));
    window.show();
    EXPECT_FALSE(window.exportSessionAction()->isEnabled()) << "no project yet";
    window.openProject(QFile::decodeName(QByteArray::fromStdString(project.Path())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.loading(); }, 60000));
    ASSERT_TRUE(window.exportSessionAction()->isEnabled());

    const QString where = QFile::decodeName(QByteArray::fromStdString(project.Root().string()));
    dialogs.directories = {where, where};
    window.exportSessionAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.sessionRunning(); }, 60000));
    QTest::qWait(50);  // the queued end of the worker
    const std::string session = project / "Gig Ardour";
    EXPECT_TRUE(std::filesystem::exists(session + "/Gig.ardour"));
    EXPECT_TRUE(std::filesystem::exists(session + "/interchange/Gig/audiofiles/Take 02.wav"));
    ASSERT_NE(window.sessionDialog(), nullptr);
    EXPECT_TRUE(window.sessionDialog()->labelText().startsWith("Ardour session written"))
        << window.sessionDialog()->labelText().toStdString();
    EXPECT_TRUE(window.exportSessionAction()->isEnabled());

    // The same place again: the folder is taken, and nothing starts.
    window.exportSessionAction()->trigger();
    EXPECT_FALSE(window.sessionRunning());
    ASSERT_EQ(dialogs.warnings.size(), 1u);
    EXPECT_TRUE(dialogs.warnings[0].contains("is not empty")) << dialogs.warnings[0].toStdString();
}
