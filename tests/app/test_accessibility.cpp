// What a screen reader finds: every pane the program draws has a name and
// its painted read-outs as text (renewed at most once a second), and every
// field of the library dialogs has a label.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/torvelview.h"
#include "lib/dialogs/screenoptiondlg.h"
#include "lib/drawobject.h"
#include "lib/loggingdialog.h"
#include "lib/loggingparam.h"
#include "lib/numentrydialog.h"
#include "modes/corefactory.h"
#include "modes/paneview.h"
#include "testutil.h"
#include "windowtest.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The platform says whether a screen reader listens (QAccessible::setActive).
class AccessibilityTest : public AnalysisWindowTest {
protected:
    void TearDown() override {
        QAccessible::setActive(false);
        AnalysisWindowTest::TearDown();
    }
};

QString AccessibleText(QWidget* widget, QAccessible::Text kind) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(kind) : QString();
}

// The fields of a dialog a screen reader must be able to name: each has a
// label that names it (its buddy) or a name of its own, and the labels given
// are buddies of the fields.
void ExpectEveryFieldNamed(QWidget* dialog) {
    const QList<QWidget*> fields = dialog->findChildren<QWidget*>();
    int checked = 0;
    for (QWidget* field : fields) {
        if (!qobject_cast<QLineEdit*>(field) && !qobject_cast<QAbstractSpinBox*>(field) &&
            !qobject_cast<QComboBox*>(field) && !qobject_cast<QListWidget*>(field))
            continue;
        // The line edit inside a spin box or combo box is part of it.
        if (qobject_cast<QAbstractSpinBox*>(field->parentWidget()) ||
            qobject_cast<QComboBox*>(field->parentWidget()))
            continue;
        ++checked;
        EXPECT_FALSE(AccessibleText(field, QAccessible::Name).isEmpty())
            << field->metaObject()->className() << " " << field->objectName().toStdString()
            << " has no name";
    }
    EXPECT_GT(checked, 0);
}

} // namespace

TEST_F(AccessibilityTest, EveryPaneIsNamedAndReadsOutWhatItShows) {
    auto frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->resize(1000, 760);
    frame->show();
    for (int kind = 1; kind <= 7; ++kind) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        CChildFrame* window = frame->OpenAnalysisWindow(kind, "Readable", 1);
        ASSERT_TRUE(window);
        window->showMaximized();
        // A screen reader starts listening.
        QAccessible::setActive(true);
        int panes = 0;
        for (QWidget* pane : window->findChildren<QWidget*>()) {
            if (!pane->testAttribute(Qt::WA_OpaquePaintEvent) || !pane->isVisible())
                continue;
            ++panes;
            EXPECT_FALSE(AccessibleText(pane, QAccessible::Name).isEmpty());
            ASSERT_TRUE(PumpUntil([&] {
                pane->repaint();
                return !AccessibleText(pane, QAccessible::Description).isEmpty();
            })) << AccessibleText(pane, QAccessible::Name).toStdString()
                << " reads nothing";
        }
        EXPECT_GE(panes, 1);
        // The spectrum's read-outs: its resolution bandwidth among them.
        if (kind != 4 && kind != 5) {
            const QString graph = AccessibleText(window->GetView(), QAccessible::Description);
            EXPECT_TRUE(graph.contains("RBW")) << graph.toStdString();
        }
        window->close();
        PumpEvents();
    }
}

// A read-out is renewed at most once a second, and only while a screen
// reader listens.
TEST_F(AccessibilityTest, AReadoutIsRenewedAtMostOnceASecond) {
    QWidget pane;
    CPaneReadout readout;
    EXPECT_EQ(readout.Begin(), nullptr) << "nobody listens yet";
    QAccessible::setActive(true);
    std::vector<QString>* log = readout.Begin();
    ASSERT_TRUE(log);
    log->push_back("M1 : 429.25MHz");
    log->push_back("  -41.20dBm ");
    readout.End(pane);
    QElapsedTimer since;
    since.start();
    EXPECT_EQ(pane.accessibleDescription(), "M1 : 429.25MHz\n-41.20dBm");
    ASSERT_TRUE(PumpUntil([&] {
        std::vector<QString>* next = readout.Begin();
        if (!next)
            return false;
        EXPECT_GE(since.elapsed(), CPaneReadout::kIntervalMs);
        next->push_back("M1 : 430.00MHz");
        readout.End(pane);
        return true;
    }));
    EXPECT_EQ(pane.accessibleDescription(), "M1 : 430.00MHz");
    QAccessible::setActive(false);
    PumpUntil([] { return false; }, std::chrono::milliseconds(CPaneReadout::kIntervalMs + 100));
    EXPECT_EQ(readout.Begin(), nullptr) << "nobody listens";
}

TEST_F(AccessibilityTest, EveryFieldOfTheLibraryDialogsHasALabel) {
    {
        CNumEntryDialog dialog("433.92", "MHz", "Centre Frequency");
        ExpectEveryFieldNamed(&dialog);
        auto* edit = dialog.findChild<QLineEdit*>(QString::number(CNumEntryDialog::kIdEdit));
        ASSERT_TRUE(edit);
        EXPECT_EQ(AccessibleText(edit, QAccessible::Name), "Centre Frequency (MHz)");
    }
    {
        CLoggingParam param;
        CLoggingDialog dialog(param);
        ExpectEveryFieldNamed(&dialog);
        int buddies = 0;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            buddies += label->buddy() != nullptr;
        EXPECT_EQ(buddies, 2) << "the folder and the interval";
    }
    {
        CDrawObject object{1, nullptr};
        object.SetTitleString("Frame");
        CDrawObjectList list{&object};
        CScreenOptionDlg dialog(&list);
        ExpectEveryFieldNamed(&dialog);
        int buddies = 0;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            buddies += label->buddy() != nullptr;
        EXPECT_EQ(buddies, 2) << "the list and the line width";
    }
}
