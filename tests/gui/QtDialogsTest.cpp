// The real Qt panels and alerts, answered by a user at the keyboard (a timer that
// acts on them once they are up): the texts they show and the name they give back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "gui/Dialogs.h"
#include "support/TempDir.h"

using namespace testsupport;

namespace {

struct Shown {
    QString title, label, directory, proposed, text;
    Qt::WindowModality modality = Qt::NonModal;
    QStringList filters, buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
};

// Types the next name into each save panel that shows and presses the next answer
// in each message box, noting what each one showed.
class User {
public:
    User(QStringList names, QList<QMessageBox::StandardButton> answers)
        : names_(std::move(names)), answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Act(); });
        timer_.start(10);
    }
    std::vector<Shown> panels, boxes;

private:
    void Act() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible()) continue;
            if (auto* panel = qobject_cast<QFileDialog*>(widget); panel && !names_.empty()) {
                panels.push_back({panel->windowTitle(),
                                  panel->labelText(QFileDialog::FileName),
                                  panel->directory().absolutePath(),
                                  panel->selectedFiles().value(0),
                                  "",
                                  panel->windowModality(),
                                  panel->nameFilters(),
                                  {},
                                  QMessageBox::NoIcon});
                // Typed into the name field (selectFile leaves a field with focus alone).
                panel->findChild<QLineEdit*>("fileNameEdit")->setText(names_.takeFirst());
                static_cast<QDialog*>(panel)->accept();  // as the Save button does
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                Shown seen{"", "", "", "", box->text(), box->windowModality(), {}, {}, box->icon()};
                for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
                seen.label = box->informativeText();
                seen.format = box->textFormat();
                boxes.push_back(seen);
                QAbstractButton* answer = box->button(answers_.value(boxes.size() - 1));
                (answer ? answer : box->buttons().first())->click();
                return;
            }
        }
    }
    QStringList names_;
    QList<QMessageBox::StandardButton> answers_;
    QTimer timer_;
};

}  // namespace

// The user types "Take" (a name the guard refuses), then "Concert 14.03" twice
// (a file that exists: "No", then "Yes" to replace it), then "Take.WAV".
TEST(QtDialogs, GuardsComeBeforeTheReplaceQuestionAndNamesEndInWav) {
    QWidget window;
    QtDialogs dialogs(&window);
    TempDir out;
    const QString dir = QString::fromStdString(out.Path().string());
    WriteFileBytes(out / "Concert 14.03.wav", {1, 2, 3});
    User user({"Take", "Concert 14.03", "Concert 14.03", "Take.WAV"},
              {QMessageBox::Ok, QMessageBox::No, QMessageBox::Yes});
    const auto guard = [](const QString& chosen) {
        return chosen.endsWith("/Take.wav") ? QString("a recording") : QString();
    };
    // A name with a suffix of its own still becomes a ".wav" file.
    EXPECT_EQ(dialogs.chooseSaveFile("Choose Left Channel Filename", "Save Left Channel As", dir,
                                     "GigL", guard),
              dir + "/Concert 14.03.wav");
    EXPECT_EQ(dialogs.chooseSaveFile("Title", "Label", dir, "Gig", guard), dir + "/Take.WAV");
    ASSERT_EQ(user.panels.size(), 4u);
    const Shown& panel = user.panels[0];
    EXPECT_EQ(panel.title, "Choose Left Channel Filename");
    EXPECT_EQ(panel.label, "Save Left Channel As");
    EXPECT_EQ(panel.directory, dir);
    EXPECT_EQ(panel.proposed, dir + "/GigL.wav");
    EXPECT_EQ(panel.modality, Qt::WindowModal);
    EXPECT_EQ(panel.filters, QStringList{"*.wav"});

    ASSERT_EQ(user.boxes.size(), 3u);
    // Refused at once, in a window-modal warning with one button, never offered for
    // replacing; then asked, "No"; and asked again after the panel, "Yes".
    const Shown& warning = user.boxes[0];
    EXPECT_EQ(warning.text, "a recording");
    EXPECT_EQ(warning.label, "");
    EXPECT_EQ(warning.icon, QMessageBox::Warning);
    EXPECT_EQ(warning.modality, Qt::WindowModal);
    EXPECT_EQ(warning.buttons, QStringList{"OK"});
    EXPECT_NE(user.boxes[1].text.indexOf("\"Concert 14.03.wav\" already exists"), -1);
    // Names in alerts show as they are, never as markup.
    EXPECT_EQ(warning.format, Qt::PlainText);
    EXPECT_EQ(user.boxes[1].format, Qt::PlainText);
    EXPECT_EQ(user.boxes[2].text, user.boxes[1].text);
    EXPECT_EQ(ReadFileBytes(out / "Concert 14.03.wav"), (std::vector<uint8_t>{1, 2, 3}));
}
