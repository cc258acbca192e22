// window-bench PROJECT...
//
// Loads each project into the window, on Qt's offscreen platform, the way the
// open panel does, and prints one line per project:
//   PROJECT <TAB> entries <TAB> load s <TAB> waveform s <TAB> longest stall s
// load: until the takes panel and the timeline show (the load's end handled and
// the window drawn once); waveform: until its last peak has arrived, counted from
// the same start; longest stall: the longest time the window's event loop did not
// run meanwhile (how long the window did not respond). Nothing is judged here;
// bench/window.sh takes the best of several runs and compares.
//
// What the window remembers goes to a temporary folder, never to the user's
// settings.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "gui/AppController.h"
#include "gui/TakesModel.h"

namespace {

struct Figures {
    int entries = 0;
    double load = -1;
    double waveform = -1;
    double stall = 0;
};

Figures Measure(AppController& window, const QString& project) {
    Figures figures;
    QElapsedTimer clock;
    QEventLoop loop;
    // The event loop's pulse: a timer that should fire every 5 ms.
    QTimer pulse;
    pulse.setInterval(5);
    qint64 lastBeat = 0;
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        figures.stall = std::max(figures.stall, (now - lastBeat) / 1e9);
        lastBeat = now;
    });
    const auto loaded = QObject::connect(&window, &AppController::loadFinished, [&](bool) {
        window.grab();  // draws the list and the timeline once
        figures.load = clock.nsecsElapsed() / 1e9;
        figures.entries = window.takesModel()->rowCount();
        if (!window.waveformRunning()) loop.quit();
    });
    const auto drawn = QObject::connect(&window, &AppController::waveformFinished, [&] {
        figures.waveform = clock.nsecsElapsed() / 1e9;
        loop.quit();
    });
    clock.start();
    pulse.start();
    window.openProject(project);
    loop.exec();
    QObject::disconnect(loaded);
    QObject::disconnect(drawn);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fputs("usage: window-bench PROJECT...\n", stderr);
        return 2;
    }
    AppController window;
    window.resize(1280, 800);
    window.show();
    for (int i = 1; i < argc; ++i) {
        const Figures figures = Measure(window, QString::fromLocal8Bit(argv[i]));
        std::printf("%s\t%d\t%.3f\t%.3f\t%.3f\n", argv[i], figures.entries, figures.load,
                    figures.waveform, figures.stall);
    }
    return 0;
}
