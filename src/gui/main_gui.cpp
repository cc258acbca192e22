// proj2wav-gui [DIRECTORY] [--screenshot FILE]
//
// The desktop window. A DIRECTORY given on the command line is loaded at start as
// if it had been chosen in the open panel. --screenshot draws the window once the
// project and its waveform show, saves the picture to FILE and quits (used for the
// documentation). --help and --version need no display.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Version.h"
#include "gui/AppController.h"
#include "gui/TakesModel.h"

namespace {

void Describe() {
    QCoreApplication::setApplicationName(QStringLiteral("proj2wav"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJ2WAV_VERSION));
}

void AddOptions(QCommandLineParser& parser, const QCommandLineOption& screenshot) {
    parser.setApplicationDescription(
        QStringLiteral("Turns a hard-disk recorder's project into one Broadcast WAVE file."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("directory"),
                                 QStringLiteral("Project directory to load at start."),
                                 QStringLiteral("[directory]"));
    parser.addOption(screenshot);
}

// True when the arguments ask only for help or the version, which are answered
// without a window and so without a display.
bool AsksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window, with the project and its waveform, to "
                       "<file>, then quit."),
        QStringLiteral("file"));
    if (AsksForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        Describe();
        QCommandLineParser parser;
        AddOptions(parser, screenshot);
        parser.process(text);  // prints and exits
        return 0;
    }

    QApplication application(argc, argv);
    Describe();
    QApplication::setDesktopFileName(QStringLiteral(PROJ2WAV_APP_ID));
    QCommandLineParser parser;
    AddOptions(parser, screenshot);
    parser.process(application);
    if (parser.positionalArguments().size() > 1) {
        std::fputs("proj2wav-gui: give at most one project directory\n", stderr);
        return 2;
    }

    AppController window;
    window.fitFirstSize(window.screen()->availableGeometry().size());
    window.show();
    // Once the window is up, so that an alert about a missing path has a window.
    const bool project = !parser.positionalArguments().isEmpty();
    if (project) {
        const QString directory =
            QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
        QTimer::singleShot(0, &window, [&window, directory] { window.openProject(directory); });
    }

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        const auto grab = [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            if (!saved) {
                std::fprintf(stderr, "proj2wav-gui: cannot save the screenshot to \"%s\"\n",
                             qPrintable(file));
            }
            QApplication::exit(saved ? 0 : 1);
        };
        // Once the project and its waveform show and the window has been painted;
        // without a project, once it is up. A take is selected to show how its
        // events stand out.
        const auto grabSoon = [&window, grab] {
            if (window.takesModel()->rowCount() > 1) window.takesView()->selectRow(1);
            QTimer::singleShot(300, &window, grab);
        };
        if (project) {
            QObject::connect(&window, &AppController::waveformFinished, &window, grabSoon);
            QObject::connect(&window, &AppController::loadFinished, &window,
                             [grabSoon](bool loaded) {
                                 if (!loaded) grabSoon();
                             });
        } else {
            grabSoon();
        }
    }
    return QApplication::exec();
}
