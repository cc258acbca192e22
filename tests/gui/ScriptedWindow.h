// The window as the tests drive it: an AppController whose panels and alerts are
// answered by ScriptedDialogs, with all the room it asks for on every volume,
// shown, and the steps a user takes with it.
#pragma once

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <memory>
#include <string>

// GCC 12 takes the scripted dialogs' optional answers for uninitialized when they
// are inlined here (a false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "ScriptedDialogs.h"
#pragma GCC diagnostic pop
#include "gui/AppController.h"

// A path's bytes as the window shows them.
inline QString Q(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

struct Window {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppController> controller;

    Window() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        controller = std::make_unique<AppController>(std::move(scripted));
        controller->setFreeSpaceSource([](const QString&) { return int64_t{1} << 50; });
        controller->show();
    }
    AppController* operator->() const { return controller.get(); }
    bool Loaded() const {
        return QTest::qWaitFor([this] { return !controller->loading(); }, 60000);
    }
    // Opens `path` as the program's argument does, and waits for the load.
    bool Open(const std::string& path) const {
        controller->openProject(Q(path));
        return Loaded();
    }
    void Drop(const std::string& path) const {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Q(path))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(controller.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(controller.get(), &drop);
    }
    // Converts into `path` and waits for the worker's end; when asked, Cancel once
    // the run has begun to write.
    bool Convert(const std::string& path, bool cancel = false) const {
        dialogs->saveFiles.push_back(Q(path));
        controller->convertButton()->click();
        if (cancel && !QTest::qWaitFor([this] { return controller->progress() > 0.0; }, 60000)) {
            return false;
        }
        if (cancel) controller->sheetButton()->click();
        return QTest::qWaitFor([this] { return !controller->workerRunning(); }, 120000);
    }
    QStringList RecentItems() const {
        QStringList items;
        for (const QAction* action : controller->recentMenu()->actions()) items << action->text();
        return items;
    }
};
