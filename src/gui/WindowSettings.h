// What the window remembers between runs, kept with QSettings under the program's
// id: the output format, the folders chosen last and the recent projects. Every
// remembered value is a member here, read in load() and written in save(), so
// that remembering one more choice takes a member and two lines.
#pragma once

#include <QString>
#include <QStringList>

#include "render/OutputFormat.h"

struct WindowSettings {
    // The output format: the word length and the layout stored by name ("bits"
    // 16 or 24, "layout" as --channels spells it), and the markers.
    OutputFormat format;
    QString lastProjectFolder;
    QString lastOutputFolder;
    QStringList recentProjects;  // newest first, at most app::kMaxRecentProjects

    // What was saved last; defaults for anything missing or out of range. The
    // format saved by earlier versions, as the columns of the window's buttons, is
    // read once and saved by name from then on.
    static WindowSettings load();
    void save() const;
};
