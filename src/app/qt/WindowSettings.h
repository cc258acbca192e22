// What the window remembers between runs, kept with QSettings under the program's
// id: the output format, the folders chosen last and the recent projects. Every
// remembered value is a member here, read in load() and written in save(), so
// that remembering one more choice takes a member and two lines.
#pragma once

#include <QString>
#include <QStringList>

struct WindowSettings {
    int widthColumn = 0;    // the word-length column, 0 or 1
    int channelColumn = 0;  // the channel column, 0 to 4
    bool markers = false;   // outputs carry markers at takes
    QString lastProjectFolder;
    QString lastOutputFolder;
    QStringList recentProjects;  // newest first, at most app::kMaxRecentProjects

    // What was saved last; defaults for anything missing or out of range.
    static WindowSettings load();
    void save() const;
};
