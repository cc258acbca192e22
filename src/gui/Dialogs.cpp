#include "gui/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/AppDecisions.h"

// Qt's own dialogs rather than the desktop's: only they show the name-field label.

std::optional<QString> QtDialogs::chooseDirectory(const QString& startDir) {
    QFileDialog dialog(window_, QObject::tr("Open Project"), startDir);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

std::optional<QString> Dialogs::chooseSaveFile(const QString& title, const QString& label,
                                               const QString& startDir, const QString& proposedName,
                                               const OutputGuard& guard) {
    for (;;) {
        const std::optional<QString> path = askSaveFile(title, label, startDir, proposedName);
        if (!path) return std::nullopt;
        const QString refusal = guard ? guard(*path) : QString();
        if (!refusal.isEmpty()) {
            warn(refusal);
            continue;
        }
        if (QFileInfo::exists(*path) && !confirmReplace(*path)) continue;
        return path;
    }
}

std::optional<QString> QtDialogs::askSaveFile(const QString& title, const QString& label,
                                              const QString& startDir,
                                              const QString& proposedName) {
    const QString type = QString::fromLatin1(app::kOutputFileType);
    QFileDialog dialog(window_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Replacing is asked about by chooseSaveFile, after the output guards: a take
    // must be refused, not offered for replacing.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(type);
    dialog.setNameFilter(QStringLiteral("*.") + type);
    if (!title.isEmpty()) dialog.setWindowTitle(title);
    if (!label.isEmpty()) dialog.setLabelText(QFileDialog::FileName, label);
    dialog.setDirectory(startDir);
    dialog.selectFile(proposedName);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    QString path = dialog.selectedFiles().first();
    // The default suffix is only added to a name without any suffix, so
    // "Concert 14.03" would stay without ".wav". Every output ends in ".wav".
    if (QFileInfo(path).suffix().compare(type, Qt::CaseInsensitive) != 0) {
        path += QLatin1Char('.') + type;
    }
    return path;
}

bool QtDialogs::confirmReplace(const QString& path) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("proj2wav"),
                    QObject::tr("\"%1\" already exists. Do you want to replace it?")
                        .arg(QFileInfo(path).fileName()),
                    QMessageBox::Yes | QMessageBox::No, window_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::WindowModal);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::warn(const QString& message) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("proj2wav"), message,
                    QMessageBox::NoButton, window_);
    box.setTextFormat(Qt::PlainText);  // the names in it are shown as they are
    box.addButton(QString::fromLatin1(app::kAlertButton), QMessageBox::AcceptRole);
    box.setInformativeText(QString());
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}
