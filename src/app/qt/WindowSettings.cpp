#include "app/qt/WindowSettings.h"

#include <QSettings>

#include "app/AppDecisions.h"
#include "app/Version.h"

namespace {

// The settings file: on Linux ~/.config/<id>/proj2wav.conf.
QSettings Store() {
    return QSettings(QStringLiteral(PROJ2WAV_APP_ID), QStringLiteral("proj2wav"));
}

int Column(const QSettings& store, const QString& key, int columns) {
    const int column = store.value(key, 0).toInt();
    return column >= 0 && column < columns ? column : 0;
}

}  // namespace

WindowSettings WindowSettings::load() {
    const QSettings store = Store();
    WindowSettings settings;
    settings.widthColumn = Column(store, QStringLiteral("output/width"), 2);
    settings.channelColumn = Column(store, QStringLiteral("output/channels"),
                                    static_cast<int>(std::size(app::kLayoutNames)));
    settings.markers = store.value(QStringLiteral("output/markers"), false).toBool();
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
    store.setValue(QStringLiteral("output/width"), widthColumn);
    store.setValue(QStringLiteral("output/channels"), channelColumn);
    store.setValue(QStringLiteral("output/markers"), markers);
    store.setValue(QStringLiteral("folders/lastProject"), lastProjectFolder);
    store.setValue(QStringLiteral("folders/lastOutput"), lastOutputFolder);
    store.setValue(QStringLiteral("recentProjects"), recentProjects);
}
