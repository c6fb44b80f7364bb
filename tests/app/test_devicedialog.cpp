// Options > Device...: the dialog opens from the main frame's menu, shows the
// profile's device and calibration offset, and OK keeps what the user chose
// for the next start (Cancel nothing).
#include "analysis/analysiscore.h"
#include "app/devicedialog.h"
#include "app/mainframe.h"
#include "modes/corefactory.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class DeviceDialogTest : public AnalysisWindowTest {
protected:
    // The item Options > Device... of the main frame's menu bar.
    QAction* DeviceItem() {
        for (QAction* a : frame->menuBar()->actions())
            if (a->menu() && a->text().remove('&') == "Options")
                for (QAction* item : a->menu()->actions())
                    if (item->text().remove('&') == "Device...")
                        return item;
        return nullptr;
    }
    // Triggers the item and runs fn on the dialog once it shows.
    void WithDialog(const std::function<void(CDeviceDialog*)>& fn) {
        bool seen = false;
        std::function<void()> poll = [&] {
            if (auto* d = qobject_cast<CDeviceDialog*>(QApplication::activeModalWidget())) {
                seen = true;
                fn(d);
            } else {
                QTimer::singleShot(5, poll);
            }
        };
        QTimer::singleShot(5, poll);
        QAction* item = DeviceItem();
        ASSERT_TRUE(item);
        item->trigger();
        EXPECT_TRUE(seen);
    }
    static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(DeviceDialogTest, TheChosenReceiverAndOffsetAreKeptForTheNextStartAndCancelKeepsNothing) {
    frame = std::make_unique<CMainFrame>([](const CString&) {});
    frame->SetCoreFactory(CreateAnalysisCore);
    ASSERT_TRUE(frame->Create(false));
    frame->show();

    WithDialog([](CDeviceDialog* d) {
        auto* simulator = d->findChild<QRadioButton*>("Simulator");
        auto* args = d->findChild<QLineEdit*>("SoapyArgs");
        ASSERT_TRUE(simulator && args);
        // The simulator is the default; the fields of the others wait.
        EXPECT_TRUE(simulator->isChecked());
        EXPECT_FALSE(args->isEnabled());
        Click(d->findChild<QRadioButton*>("Soapy"));
        ASSERT_TRUE(args->isEnabled());
        Type(args, "driver=rtlsdr,rate=2.048e6");
        auto* offset = d->findChild<QDoubleSpinBox*>("LevelOffset");
        offset->selectAll();
        QTest::keyClicks(offset, "-12.5");
        Click(d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    });
    EXPECT_EQ(GetProfileString("DEVICE", "Library"), CString("soapy:driver=rtlsdr,rate=2.048e6"));
    EXPECT_EQ(GetProfileString("DEVICE", "LevelOffset"), CString("-12.5"));

    // The dialog shows what the profile holds; a library chosen and then
    // cancelled leaves it.
    WithDialog([](CDeviceDialog* d) {
        EXPECT_TRUE(d->findChild<QRadioButton*>("Soapy")->isChecked());
        EXPECT_EQ(d->findChild<QLineEdit*>("SoapyArgs")->text(), "driver=rtlsdr,rate=2.048e6");
        EXPECT_DOUBLE_EQ(d->findChild<QDoubleSpinBox*>("LevelOffset")->value(), -12.5);
        Click(d->findChild<QRadioButton*>("Library"));
        Type(d->findChild<QLineEdit*>("LibraryPath"), "/opt/vendor/libTorvelAPI.so");
        EXPECT_EQ(d->Choice(), "/opt/vendor/libTorvelAPI.so");
        Click(d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
    });
    EXPECT_EQ(GetProfileString("DEVICE", "Library"), CString("soapy:driver=rtlsdr,rate=2.048e6"));

    // A library field without a path is no choice: the simulator is kept.
    WithDialog([](CDeviceDialog* d) {
        Click(d->findChild<QRadioButton*>("Library"));
        Type(d->findChild<QLineEdit*>("LibraryPath"), "libTorvelAPI.so");
        Click(d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    });
    EXPECT_EQ(GetProfileString("DEVICE", "Library"), CString("simulator"));
    frame.reset();
}

} // namespace
