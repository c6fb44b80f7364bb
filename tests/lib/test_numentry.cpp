// The numeric entry dialog driven headless: what it shows, and what OK and
// Cancel return for good and bad input.
#include "lib/numentry.h"
#include "lib/numentrydialog.h"
#include "lib/stringtable.h"
#include "testutil.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>

namespace {

struct Seen {
    QString title, unit, text, selected, ok, cancel;
    int editPixels = 0, unitPixels = 0;
    bool editFocused = false;
};

// Waits for the dialog to appear, records what it shows, types the input and
// presses the button with the given id.
void driveDialog(Seen* seen, const QString& input, int button) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [=] {
        CNumEntryDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CNumEntryDialog*>(w); d && d->isVisible())
                dialog = d;
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        auto* edit = dialog->findChild<QLineEdit*>(QString::number(CNumEntryDialog::kIdEdit));
        auto* unit = dialog->findChild<QLabel*>(QString::number(CNumEntryDialog::kIdUnit));
        auto* ok = dialog->findChild<QPushButton*>(QString::number(CNumEntryDialog::kIdOk));
        auto* cancel = dialog->findChild<QPushButton*>(QString::number(CNumEntryDialog::kIdCancel));
        if (!edit || !unit || !ok || !cancel) {
            dialog->reject();
            return;
        }
        seen->title = dialog->windowTitle();
        seen->unit = unit->text();
        seen->text = edit->text();
        seen->selected = edit->selectedText();
        seen->editFocused = dialog->focusWidget() == edit;
        seen->ok = ok->text();
        seen->cancel = cancel->text();
        seen->editPixels = edit->font().pixelSize();
        seen->unitPixels = unit->font().pixelSize();
        edit->setText(input);
        (button == CNumEntryDialog::kIdOk ? ok : cancel)->click();
    });
    timer->start();
}

struct NumEntryTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(InitializeTorvelLibDLL(
                      (std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt").c_str(), 2500),
                  1);
    }
};

} // namespace

TEST_F(NumEntryTest, ShowsTheValueSelectedWithTheTableTextsAndFonts) {
    Seen seen;
    driveDialog(&seen, "1234", CNumEntryDialog::kIdOk);
    EXPECT_EQ(NumEntryINT(42, "MHz", "Center frequency"), 1234);
    EXPECT_EQ(seen.title, "Center frequency");
    EXPECT_EQ(seen.unit, "MHz");
    EXPECT_EQ(seen.text, "42");
    EXPECT_EQ(seen.selected, "42");
    EXPECT_TRUE(seen.editFocused);
    EXPECT_EQ(seen.ok, QString::fromUtf8(GetLibraryString(66)));
    EXPECT_EQ(seen.cancel, QString::fromUtf8(GetLibraryString(67)));
    EXPECT_EQ(seen.editPixels, -GetLibraryStyleFont(1).lfHeight);
    EXPECT_EQ(seen.unitPixels, -GetLibraryStyleFont(2).lfHeight);
}

TEST_F(NumEntryTest, IntegersReadLikeUnsignedAndKeepTheValueOnBadText) {
    Seen seen;
    driveDialog(&seen, "  17 kHz", CNumEntryDialog::kIdOk);
    EXPECT_EQ(NumEntryINT(42, "", ""), 17);
    driveDialog(&seen, "99", CNumEntryDialog::kIdCancel);
    EXPECT_EQ(NumEntryINT(42, "", ""), -1);
    // A negative value is shown as its unsigned bits.
    driveDialog(&seen, "4294967291", CNumEntryDialog::kIdOk);
    EXPECT_EQ(NumEntryINT(-5, "", ""), -5);
    EXPECT_EQ(seen.text, "4294967291");
}

TEST_F(NumEntryTest, DoublesShowLikeGAndReadLikeStrtod) {
    Seen seen;
    driveDialog(&seen, "1e3", CNumEntryDialog::kIdOk);
    EXPECT_EQ(NumEntryDOUBLE(2.5, "dB", "Offset"), 1000.0);
    EXPECT_EQ(seen.text, "2.5");
    driveDialog(&seen, " -3.25", CNumEntryDialog::kIdOk);
    EXPECT_EQ(NumEntryDOUBLE(0.1, "", ""), -3.25);
    EXPECT_EQ(seen.text, "0.1");
    driveDialog(&seen, "3", CNumEntryDialog::kIdCancel);
    EXPECT_EQ(NumEntryDOUBLE(7.0, "", ""), DBL_MAX);
}

TEST_F(NumEntryTest, TextWithoutANumberIsRefusedWithAWarningAndTheEntryStaysOpen) {
    // "abc" and an empty field are refused: the user is told and can type again.
    for (const char* bad : {"abc", "", " -x"}) {
        QStringList warnings;
        int step = 0;
        auto* timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [&, timer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                warnings << box->text();
                box->accept();
                return;
            }
            CNumEntryDialog* dialog = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CNumEntryDialog*>(w); d && d->isVisible())
                    dialog = d;
            if (!dialog)
                return;
            auto* edit = dialog->findChild<QLineEdit*>(QString::number(CNumEntryDialog::kIdEdit));
            auto* ok = dialog->findChild<QPushButton*>(QString::number(CNumEntryDialog::kIdOk));
            edit->setText(step++ == 0 ? QString::fromUtf8(bad) : QString("12.5"));
            if (step == 2) {
                timer->stop();
                timer->deleteLater();
            }
            // Clicked outside this tick, so that the timer ticks in the warning's loop.
            QMetaObject::invokeMethod(ok, &QPushButton::click, Qt::QueuedConnection);
        });
        timer->start();
        EXPECT_EQ(NumEntryDOUBLE(7.0, "MHz", "Span"), 12.5) << bad;
        ASSERT_EQ(warnings.size(), 1) << bad;
        EXPECT_EQ(warnings[0], QString::fromUtf8(GetLibraryString(90)));
    }
}
