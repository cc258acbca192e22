// The questions the window asks its user, behind a small interface: the Qt
// implementation shows real panels and alerts; tests answer from a script.
#pragma once

#include <QString>
#include <optional>

class QWidget;

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A directory the user chose, starting in `startDir`; nothing when cancelled.
    virtual std::optional<QString> chooseDirectory(const QString& startDir) = 0;

    // A file to write, chosen in a save panel that starts in `startDir` with
    // `proposedName` filled in; nothing when cancelled. An empty title or label
    // keeps the panel's own. The answer ends in ".wav"; when it names a file that
    // exists, the user has agreed to replace it.
    virtual std::optional<QString> chooseSaveFile(const QString& title, const QString& label,
                                                  const QString& startDir,
                                                  const QString& proposedName) = 0;

    // A warning with the single button "OK".
    virtual void warn(const QString& message) = 0;
};

// Panels and alerts as window-modal Qt dialogs on `window`.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* window) : window_(window) {}

    std::optional<QString> chooseDirectory(const QString& startDir) override;
    std::optional<QString> chooseSaveFile(const QString& title, const QString& label,
                                          const QString& startDir,
                                          const QString& proposedName) override;
    void warn(const QString& message) override;

private:
    bool confirmReplace(const QString& path);

    QWidget* window_;
};
