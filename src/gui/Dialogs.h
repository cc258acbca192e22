// The questions the window asks its user, behind a small interface: the Qt
// implementation shows real panels and alerts; tests answer from a script.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

class Dialogs {
public:
    // Why a chosen output path is refused (the alert), or empty when it may be written.
    using OutputGuard = std::function<QString(const QString& path)>;

    virtual ~Dialogs() = default;

    // A directory the user chose, starting in `startDir`; nothing when cancelled.
    virtual std::optional<QString> chooseDirectory(const QString& startDir) = 0;

    // A file to write, chosen in a save panel that starts in `startDir` with
    // `proposedName` filled in; nothing when cancelled. An empty title or label
    // keeps the panel's own. The answer ends in ".wav". `guard` judges every answer
    // as soon as the panel returns: a refused one is explained in a warning and the
    // panel shows again. Only then is the user asked before an existing file is
    // replaced; "No" shows the panel again.
    std::optional<QString> chooseSaveFile(const QString& title, const QString& label,
                                          const QString& startDir, const QString& proposedName,
                                          const OutputGuard& guard = {});

    // A warning with the single button "OK".
    virtual void warn(const QString& message) = 0;

protected:
    // One save panel as chooseSaveFile describes it, without guard or question.
    virtual std::optional<QString> askSaveFile(const QString& title, const QString& label,
                                               const QString& startDir,
                                               const QString& proposedName) = 0;
    // Whether the existing file at `path` may be replaced.
    virtual bool confirmReplace(const QString& path) = 0;
};

// Panels and alerts as window-modal Qt dialogs on `window`.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* window) : window_(window) {}

    std::optional<QString> chooseDirectory(const QString& startDir) override;
    void warn(const QString& message) override;

protected:
    std::optional<QString> askSaveFile(const QString& title, const QString& label,
                                       const QString& startDir,
                                       const QString& proposedName) override;
    bool confirmReplace(const QString& path) override;

private:
    QWidget* window_;
};
