// The real Qt panels and alerts, answered by a timer that acts on them once they
// are up: the texts they show and the name they give back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/qt/Dialogs.h"
#include "support/TempDir.h"

using namespace testsupport;

namespace {

// Runs `act` on the first visible top-level widget of type T, once it shows up
// (inside the dialog's own event loop).
template <typename T>
void WhenShown(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* found = qobject_cast<T*>(widget);
            if (found == nullptr || !found->isVisible()) continue;
            timer->stop();
            timer->deleteLater();
            act(found);
            return;
        }
    });
    timer->start();
}

struct SavePanel {
    QString title, label, directory, proposed;
    Qt::WindowModality modality = Qt::NonModal;
    QStringList filters;
};

// Shows a save panel, notes what it shows, types `name` and confirms.
std::optional<QString> SaveAs(QtDialogs& dialogs, const QString& dir, const QString& name,
                              SavePanel* seen = nullptr) {
    WhenShown<QFileDialog>([name, seen](QFileDialog* panel) {
        if (seen != nullptr) {
            *seen = {panel->windowTitle(),
                     panel->labelText(QFileDialog::FileName),
                     panel->directory().absolutePath(),
                     panel->selectedFiles().value(0),
                     panel->windowModality(),
                     panel->nameFilters()};
        }
        // Typed into the name field (selectFile leaves a field with focus alone).
        auto* nameField = panel->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nameField, nullptr);
        nameField->setText(name);
        static_cast<QDialog*>(panel)->accept();  // as the Save button does
    });
    return dialogs.chooseSaveFile("Choose Left Channel Filename", "Save Left Channel As", dir,
                                  "GigL");
}

}  // namespace

TEST(QtDialogs, SavePanelShowsItsTextsAndAlwaysGivesAWavName) {
    QWidget window;
    QtDialogs dialogs(&window);
    TempDir out;
    const QString dir = QString::fromStdString(out.Path().string());

    SavePanel seen;
    EXPECT_EQ(SaveAs(dialogs, dir, "Mix", &seen), dir + "/Mix.wav");
    EXPECT_EQ(seen.title, "Choose Left Channel Filename");
    EXPECT_EQ(seen.label, "Save Left Channel As");
    EXPECT_EQ(seen.directory, dir);
    EXPECT_EQ(seen.proposed, dir + "/GigL.wav");
    EXPECT_EQ(seen.modality, Qt::WindowModal);
    EXPECT_EQ(seen.filters, QStringList{"*.wav"});

    // A name with a suffix of its own still becomes a ".wav" file.
    EXPECT_EQ(SaveAs(dialogs, dir, "Concert 14.03"), dir + "/Concert 14.03.wav");
    EXPECT_EQ(SaveAs(dialogs, dir, "Take.WAV"), dir + "/Take.WAV");
}

TEST(QtDialogs, GuardsComeBeforeTheReplaceQuestionAndRefusalsShowThePanelAgain) {
    QWidget window;
    QtDialogs dialogs(&window);
    TempDir out;
    const QString dir = QString::fromStdString(out.Path().string());
    WriteFileBytes(out / "Take.wav", {1});
    WriteFileBytes(out / "Concert 14.03.wav", {1, 2, 3});

    // The user types these names in turn, and answers the message boxes in turn.
    const QStringList names = {"Take", "Concert 14.03", "Concert 14.03"};
    const QList<QMessageBox::StandardButton> answers = {QMessageBox::Ok, QMessageBox::No,
                                                        QMessageBox::Yes};
    QStringList boxes;
    int typed = 0;
    QTimer user;
    user.setInterval(10);
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible()) continue;
            if (auto* panel = qobject_cast<QFileDialog*>(widget); panel && typed < names.size()) {
                panel->findChild<QLineEdit*>("fileNameEdit")->setText(names[typed++]);
                static_cast<QDialog*>(panel)->accept();
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                boxes.push_back(box->text());
                const auto answer = answers.value(boxes.size() - 1);
                (box->button(answer) ? box->button(answer) : box->buttons().first())->click();
                return;
            }
        }
    });
    user.start();
    const std::optional<QString> path =
        dialogs.chooseSaveFile("Title", "Label", dir, "Gig", [](const QString& chosen) {
            return chosen.endsWith("/Take.wav") ? QString("a recording") : QString();
        });
    user.stop();
    EXPECT_EQ(path, dir + "/Concert 14.03.wav");
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes[0], "a recording");  // refused at once, never offered for replacing
    EXPECT_NE(boxes[1].indexOf("\"Concert 14.03.wav\" already exists"), -1);  // "No"
    EXPECT_EQ(boxes[2], boxes[1]);  // and asked again after the panel: "Yes"
    EXPECT_EQ(ReadFileBytes(out / "Concert 14.03.wav"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(QtDialogs, WarningIsAWindowModalAlertWithOneOkButton) {
    QWidget window;
    QtDialogs dialogs(&window);
    bool checked = false;
    WhenShown<QMessageBox>([&checked](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->text(), "Insufficient disk space.");
        EXPECT_EQ(box->informativeText(), "");
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->buttons()[0]->text(), "OK");
        checked = true;
        box->buttons()[0]->click();
    });
    dialogs.warn("Insufficient disk space.");
    EXPECT_TRUE(checked);
}
