// main() of the window tests: one QApplication for the whole run, on the
// offscreen platform unless another is asked for. What the window remembers goes
// to a temporary folder, never to the user's settings, and every test starts
// with nothing remembered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "app/Version.h"

namespace {

class ForgetSettings : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        QSettings(QStringLiteral(PROJ2WAV_APP_ID), QStringLiteral("proj2wav")).clear();
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no window system (CTest lists them while building).
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    testing::UnitTest::GetInstance()->listeners().Append(new ForgetSettings);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
