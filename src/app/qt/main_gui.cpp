// proj2wav-gui [DIRECTORY] [--screenshot FILE]
//
// The desktop window. A DIRECTORY given on the command line is loaded at start as
// if it had been chosen in the open panel. --screenshot draws the window once it
// is up, saves the picture to FILE and quits (used for the documentation).

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/Version.h"
#include "app/qt/AppController.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("proj2wav"));
    QApplication::setApplicationVersion(QStringLiteral(PROJ2WAV_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(PROJ2WAV_APP_ID));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns a hard-disk recorder's project into one Broadcast WAVE file."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("directory"),
                                 QStringLiteral("Project directory to load at start."),
                                 QStringLiteral("[directory]"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window to <file>, then quit."),
        QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.process(application);
    if (parser.positionalArguments().size() > 1) {
        std::fputs("proj2wav-gui: give at most one project directory\n", stderr);
        return 2;
    }

    AppController window;
    window.resize(window.sizeHint().expandedTo(QSize(860, 0)));
    if (!parser.positionalArguments().isEmpty()) {
        const QString directory = parser.positionalArguments().first();
        window.openProject(QDir::cleanPath(QFileInfo(directory).absoluteFilePath()));
    }
    window.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // Once the window has been laid out and painted.
        QTimer::singleShot(300, &window, [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            if (!saved) {
                std::fprintf(stderr, "proj2wav-gui: cannot save the screenshot to \"%s\"\n",
                             qPrintable(file));
            }
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
