#include "gui/WindowSettings.h"

#include <QSettings>

#include "app/AppDecisions.h"
#include "app/Version.h"

namespace {

// The settings file: on Linux ~/.config/<id>/proj2wav.conf.
QSettings Store() {
    return QSettings(QStringLiteral(PROJ2WAV_APP_ID), QStringLiteral("proj2wav"));
}

// The format as earlier versions kept it: the columns of the word-length buttons
// (0 for 16 bit, 1 for 24) and of the channel buttons (the layouts in order).
void LoadColumns(const QSettings& store, OutputFormat& format) {
    format.bits = store.value(QStringLiteral("output/width"), 0).toInt() == 1 ? 24 : 16;
    const int column = store.value(QStringLiteral("output/channels"), 0).toInt();
    if (column >= 0 && column < static_cast<int>(std::size(app::kLayoutNames))) {
        format.layout = static_cast<ChanTypes>(column);
    }
}

}  // namespace

WindowSettings WindowSettings::load() {
    const QSettings store = Store();
    WindowSettings settings;
    OutputFormat& format = settings.format;
    if (store.contains(QStringLiteral("output/bits"))) {
        format.bits = store.value(QStringLiteral("output/bits")).toInt() == 24 ? 24 : 16;
        app::LayoutOf(store.value(QStringLiteral("output/layout")).toString().toStdString(),
                      format.layout);
    } else {
        LoadColumns(store, format);
    }
    format.markers = store.value(QStringLiteral("output/markers"), false).toBool();
    settings.lastProjectFolder = store.value(QStringLiteral("folders/lastProject")).toString();
    settings.lastOutputFolder = store.value(QStringLiteral("folders/lastOutput")).toString();
    settings.recentProjects = store.value(QStringLiteral("recentProjects")).toStringList();
    while (settings.recentProjects.size() > static_cast<qsizetype>(app::kMaxRecentProjects)) {
        settings.recentProjects.removeLast();
    }
    return settings;
}

void WindowSettings::save() const {
    QSettings store = Store();
    store.remove(QStringLiteral("output/width"));
    store.remove(QStringLiteral("output/channels"));
    store.setValue(QStringLiteral("output/bits"), format.bits);
    store.setValue(QStringLiteral("output/layout"), QString::fromLatin1(app::LayoutName(format.layout)));
    store.setValue(QStringLiteral("output/markers"), format.markers);
    store.setValue(QStringLiteral("folders/lastProject"), lastProjectFolder);
    store.setValue(QStringLiteral("folders/lastOutput"), lastOutputFolder);
    store.setValue(QStringLiteral("recentProjects"), recentProjects);
}
