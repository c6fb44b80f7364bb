// The library dialogs: offset files and their interpolation (hostile files
// included), and the analysis option, offset and screen option dialogs driven
// headless through their controls.
#include "lib/dialogs/analysisoptiondlg.h"
#include "lib/dialogs/dialogsupport.h"
#include "lib/dialogs/fontdialog.h"
#include "lib/dialogs/offsetdlg.h"
#include "lib/dialogs/offsettable.h"
#include "lib/dialogs/screenoptiondlg.h"
#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using OffsetTable::kEntries;

std::string ShippedTable() {
    return std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt";
}

QString Lib(int n) {
    return QString::fromUtf8(GetLibraryString(n));
}

template <class W> W* Control(QWidget* dialog, int id) {
    W* w = dialog->findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// Runs action on the next modal dialog of type T once it shows. Should the
// expected dialog never come, whatever modal widget is up is closed so the
// test fails instead of hanging.
template <class T> void WhenModal(std::function<void(T*)> action, int triesLeft = 1000) {
    QTimer::singleShot(10, [action, triesLeft] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal); dialog != nullptr && dialog->isVisible()) {
            action(dialog);
            return;
        }
        if (triesLeft > 0) {
            WhenModal<T>(action, triesLeft - 1);
            return;
        }
        ADD_FAILURE() << "expected dialog did not show";
        if (auto* d = qobject_cast<QDialog*>(modal)) {
            d->reject();
        }
    });
}

void Click(QWidget* dialog, int id) {
    auto* button = Control<QPushButton>(dialog, id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << "button " << id;
    button->click();
}

struct LibDialogTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        ASSERT_EQ(InitializeTorvelLibDLL(ShippedTable().c_str(), 2500), 1);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
    }
    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = dir.file(name);
        WriteWholeFile(path, content);
        return path;
    }
    // Loads text as an offset file into a table that starts filled with 7.
    bool Load(const std::string& content, std::vector<short>& table) {
        table.assign(kEntries, 7);
        return OffsetTable::LoadFile(Write("offsets.txt", content).c_str(), table.data());
    }
};

// ---- offset files -------------------------------------------------------------------------

TEST_F(LibDialogTest, SinglePointFillsTheWholeTable) {
    std::vector<short> t;
    ASSERT_TRUE(Load("100,2.5\n", t));
    for (int i = 0; i < kEntries; ++i) {
        ASSERT_EQ(t[i], 409) << i; // 2.5 dB * 163.84 = 409.6, truncated
    }
}

TEST_F(LibDialogTest, InterpolationUsesTheFixedPointSlope) {
    std::vector<short> t;
    ASSERT_TRUE(Load("0,0\n10,1.0\n", t));
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[5], 81); // c = 163 * 4096 / 10 = 66764; 5 * 66764 >> 12 = 81
    EXPECT_EQ(t[9], 146);
    for (int i = 10; i < kEntries; ++i) {
        ASSERT_EQ(t[i], 163) << i;
    }
    // Falling: c = -66764 (division truncates toward zero), but the shift
    // rounds down: 5 * -66764 >> 12 = -82, not -81.
    ASSERT_TRUE(Load("0,0\n10,-1.0\n", t));
    EXPECT_EQ(t[5], -82);
    EXPECT_EQ(t[10], -163);
}

TEST_F(LibDialogTest, PointsOrderOverwritesAndRangeOfFrequencies) {
    std::vector<short> sorted, unsorted;
    ASSERT_TRUE(Load("100,1\n200,3\n300,-2\n", sorted));
    ASSERT_TRUE(Load("300,-2\n100,1\n200,3\n", unsorted));
    EXPECT_EQ(sorted, unsorted);
    EXPECT_EQ(sorted[0], 163);     // before the first point: its value
    EXPECT_EQ(sorted[3199], -327); // after the last point: its value

    // Out of the table: ignored. -0.5 MHz truncates to index 0; 3199.9 to 3199.
    std::vector<short> t_;
    ASSERT_TRUE(Load("3200,9\n-1,9\n-0.5,1\n3199.9,2\n", t_));
    EXPECT_EQ(t_[0], 163);
    EXPECT_EQ(t_[3199], 327);
    EXPECT_FALSE(Load("3200,1\n-1,1\n", t_));
    EXPECT_EQ(t_[0], 7); // a failed load leaves the table as it was

    // A later line for the same MHz wins; 150.2 and 150.9 are both index 150.
    ASSERT_TRUE(Load("150.2,1\n150.9,2\n", t_));
    EXPECT_EQ(t_[150], 327);
}

TEST_F(LibDialogTest, HostileOffsetFilesFailCleanlyOrYieldOnlyTheirValidLines) {
    std::vector<short> t;
    EXPECT_FALSE(Load("", t));
    EXPECT_FALSE(Load("frequency,offset\nabc\n,,,\n1;2\n1 ,2\n", t)); // nothing parses
    EXPECT_EQ(t[0], 7);
    EXPECT_FALSE(Load(std::string("\0\xff\xfe\x80garbage\0", 12), t));
    EXPECT_FALSE(Load("nan,1\ninf,1\n5,nan\n5,inf\n5,-inf\n", t));

    // Blanks before the numbers, CR LF ends, a last line without its end, and
    // trailing text after the second number all read as the C library's "%f,%f".
    ASSERT_TRUE(Load("  10, 1.0 dB\r\n+20,-1e0\r\n30,2", t));
    EXPECT_EQ(t[10], 163);
    EXPECT_EQ(t[20], -163);
    EXPECT_EQ(t[30], 327);

    // Offsets beyond the 16-bit range are held at its ends.
    ASSERT_TRUE(Load("1,1e30\n2,-1e30\n3,200\n4,-200\n", t));
    EXPECT_EQ(t[1], 32767);
    EXPECT_EQ(t[2], -32768);
    EXPECT_EQ(t[3], 32767);
    EXPECT_EQ(t[4], -32768);

    // Only the first 255 characters of a line count; the rest is skipped, not
    // read as a line of its own.
    const std::string longLine = "40,1" + std::string(300, ' ') + "\n";
    const std::string hidden = std::string(300, ' ') + "50,1\n";
    const std::string tail = "60,-1" + std::string(260, ' ') + "70,5\n";
    ASSERT_TRUE(Load(longLine + hidden + tail, t));
    EXPECT_EQ(t[40], 163);
    EXPECT_EQ(t[50], 0); // interpolated: 163 + ((10 * -66764) >> 12)
    EXPECT_EQ(t[60], -163);
    EXPECT_EQ(t[70], -163); // "70,5" was beyond the line's 255 characters

    // Not a regular file, or missing: refused.
    t.assign(kEntries, 7);
    EXPECT_FALSE(OffsetTable::LoadFile(dir.path().c_str(), t.data()));
    EXPECT_FALSE(OffsetTable::LoadFile(dir.file("missing.txt").c_str(), t.data()));
    EXPECT_FALSE(OffsetTable::LoadFile("/dev/zero", t.data()));
    EXPECT_EQ(t[0], 7);
}

TEST_F(LibDialogTest, OffsetDialogWithoutWindowLoadsTheNamedFile) {
    std::vector<short> table(kEntries, 7);
    CString name(Write("good.txt", "100,2.5\n").c_str());
    EXPECT_EQ(DoModalOffsetDialog(table.data(), name, 0), 1);
    EXPECT_EQ(table[0], 409);

    CString bad(Write("bad.txt", "nothing\n").c_str());
    table.assign(kEntries, 7);
    EXPECT_EQ(DoModalOffsetDialog(table.data(), bad, 0), 0);
    EXPECT_EQ(table[5], 7);
    EXPECT_STREQ(bad, dir.file("bad.txt").c_str());

    CString empty;
    EXPECT_EQ(DoModalOffsetDialog(table.data(), empty, 0), 0);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(DoModalOffsetDialog(nullptr, name, 0), 0);
}

// ---- offset dialog ------------------------------------------------------------------------

TEST_F(LibDialogTest, OffsetDialogLoadsTheCallersFileAtOnceAndOkHandsTheTableOver) {
    std::vector<short> table(kEntries, 7);
    CString name(Write("good.txt", "0,0\n10,1.0\n").c_str());
    WhenModal<COffsetDlg>([&](COffsetDlg* d) {
        EXPECT_EQ(d->windowTitle(), Lib(46));
        EXPECT_EQ(Control<QPushButton>(d, 1055)->text(), Lib(47));
        EXPECT_EQ(Control<QPushButton>(d, 1)->text(), Lib(48));
        EXPECT_EQ(Control<QPushButton>(d, 2)->text(), Lib(49));
        EXPECT_EQ(Control<QLabel>(d, 2023)->text(), Lib(50));
        EXPECT_EQ(Control<QLabel>(d, 1054)->text(), QString::fromUtf8(name.c_str()));
        // The preview draws the curve: 0 dB at first, then rising to 1 dB at 10 MHz.
        const QImage preview = Control<QWidget>(d, 1057)->grab().toImage();
        int curvePixels = 0;
        for (int y = 0; y < preview.height(); ++y) {
            for (int x = 0; x < preview.width(); ++x) {
                curvePixels += qBlue(preview.pixel(x, y)) > 150 && qRed(preview.pixel(x, y)) < 60;
            }
        }
        EXPECT_GT(curvePixels, preview.width() / 2);
        Click(d, 1);
    });
    EXPECT_EQ(DoModalOffsetDialog(table.data(), name, 1), 1);
    EXPECT_EQ(table[5], 81);
    EXPECT_STREQ(name, dir.file("good.txt").c_str());
}

TEST_F(LibDialogTest, OffsetDialogWithAnUnreadableFileRevertsTheNameAndCancelKeepsAll) {
    std::vector<short> table(kEntries, 7);
    CString name(dir.file("missing.txt").c_str());
    WhenModal<COffsetDlg>([&](COffsetDlg* d) {
        EXPECT_EQ(Control<QLabel>(d, 1054)->text(), Lib(51));
        EXPECT_FALSE(Control<QPushButton>(d, 1)->isEnabled());
        Click(d, 2);
    });
    EXPECT_EQ(DoModalOffsetDialog(table.data(), name, 1), 0);
    EXPECT_EQ(table[0], 7);
    EXPECT_STREQ(name, dir.file("missing.txt").c_str());
}

TEST_F(LibDialogTest, OffsetDialogLoadButtonRefusesABadFileThenAcceptsAGoodOne) {
    const std::string bad = Write("bad.txt", "no numbers here\n");
    const std::string good = Write("good.txt", "100,2.5\n");
    std::vector<short> table(kEntries, 7);
    CString name; // no file yet
    QString warning;
    bool okAfterBad = true;
    auto chooseFile = [](const std::string& path) {
        WhenModal<QFileDialog>([path](QFileDialog* f) {
            // selectFile leaves the name field alone while it has the focus,
            // so the path is typed into the field as a user would.
            auto* edit = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(QString::fromStdString(path));
            static_cast<QDialog*>(f)->accept(); // QFileDialog::accept checks the choice
        });
    };
    WhenModal<COffsetDlg>([&](COffsetDlg* d) {
        EXPECT_EQ(Control<QLabel>(d, 1054)->text(), Lib(51));
        EXPECT_FALSE(Control<QPushButton>(d, 1)->isEnabled());
        chooseFile(bad);
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warning = box->text();
            box->accept();
        });
        Click(d, 1055); // returns after the file dialog and the message box
        okAfterBad = Control<QPushButton>(d, 1)->isEnabled();
        EXPECT_EQ(Control<QLabel>(d, 1054)->text(), Lib(51));
        chooseFile(good);
        Click(d, 1055);
        EXPECT_EQ(Control<QLabel>(d, 1054)->text(), QString::fromStdString(good));
        Click(d, 1);
    });
    EXPECT_EQ(DoModalOffsetDialog(table.data(), name, 1), 1);
    EXPECT_EQ(warning, Lib(58));
    EXPECT_FALSE(okAfterBad);
    EXPECT_EQ(table[3000], 409);
    EXPECT_STREQ(name, good.c_str());
}

// ---- analysis option dialog ---------------------------------------------------------------

TEST_F(LibDialogTest, AnalysisOptionTrackbarsShowAndReturnTheRates) {
    WhenModal<CAnalysisOptionDlg>([](CAnalysisOptionDlg* d) {
        EXPECT_EQ(d->windowTitle(), Lib(14));
        EXPECT_EQ(Control<QWidget>(d, 2021)->property("title").toString(), Lib(15));
        EXPECT_EQ(Control<QLabel>(d, 2018)->text(), Lib(16));
        EXPECT_EQ(Control<QLabel>(d, 2020)->text(), Lib(18));
        auto* first = Control<QSlider>(d, 2015);
        EXPECT_EQ(first->minimum(), 1);
        EXPECT_EQ(first->maximum(), 20);
        EXPECT_EQ(first->value(), 3);
        EXPECT_EQ(Control<QLabel>(d, 2017)->text(), "3");
        EXPECT_EQ(Control<QLabel>(d, 2019)->text(), "7");
        first->setValue(12);
        EXPECT_EQ(Control<QLabel>(d, 2017)->text(), "12");
        Click(d, 1);
    });
    CPoint result = DoModalAnalysisOptionDlg(CPoint(3, 7));
    EXPECT_EQ(result, CPoint(12, 7));

    WhenModal<CAnalysisOptionDlg>([](CAnalysisOptionDlg* d) {
        Control<QSlider>(d, 2016)->setValue(1);
        Click(d, 2);
    });
    EXPECT_EQ(DoModalAnalysisOptionDlg(CPoint(3, 7)), CPoint(3, 7));
}

TEST_F(LibDialogTest, AnalysisOptionNegativeRateDisablesItsTrackbar) {
    WhenModal<CAnalysisOptionDlg>([](CAnalysisOptionDlg* d) {
        EXPECT_FALSE(Control<QSlider>(d, 2015)->isEnabled());
        EXPECT_TRUE(Control<QSlider>(d, 2016)->isEnabled());
        Control<QSlider>(d, 2016)->setValue(9);
        Click(d, 1);
    });
    EXPECT_EQ(DoModalAnalysisOptionDlg(CPoint(-1, 5)), CPoint(-1, 9));

    // A rate outside the trackbar's range comes back unchanged unless moved.
    WhenModal<CAnalysisOptionDlg>([](CAnalysisOptionDlg* d) { Click(d, 1); });
    EXPECT_EQ(DoModalAnalysisOptionDlg(CPoint(0, 25)), CPoint(0, 25));
}

// ---- screen option dialog -----------------------------------------------------------------

struct ScreenOptionTest : LibDialogTest {
    CDrawObject frame{1, nullptr};
    CDrawObject trace{2, nullptr};
    CDrawObject linked{3, nullptr}; // linked after frame
    CDrawObjectList list;
    void SetUp() override {
        LibDialogTest::SetUp();
        frame.SetTitleString("Frame");
        trace.SetTitleString("Trace1");
        trace.SetMask(CDrawObject::kMaskLine);
        frame.AddUpdateLink(&linked);
        list = {&frame, &trace};
    }
    QListWidget* List(QWidget* d) { return Control<QListWidget>(d, 2002); }
};

TEST_F(ScreenOptionTest, ListsTitlesAndEnablesButtonsByMask) {
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        EXPECT_EQ(d->windowTitle(), Lib(3));
        auto* items = List(d);
        ASSERT_EQ(items->count(), 2);
        EXPECT_EQ(items->item(0)->text(), "Frame");
        EXPECT_EQ(items->item(1)->text(), "Trace1");
        EXPECT_EQ(items->currentRow(), 0);
        const int buttons[] = {2003, 2004, 2005, 2006, 2007};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(Control<QPushButton>(d, buttons[i])->text(), Lib(4 + i));
            EXPECT_TRUE(Control<QPushButton>(d, buttons[i])->isEnabled());
        }
        auto* styles = Control<QComboBox>(d, 2011);
        ASSERT_EQ(styles->count(), 5);
        EXPECT_EQ(styles->itemText(1), Lib(13).split(',').value(1));
        items->setCurrentRow(1); // mask 8: only the line colour
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(Control<QPushButton>(d, buttons[i])->isEnabled(), buttons[i] == 2004);
        }
        Click(d, 2);
    });
    DoModalScreenOptionDlg(&list);
}

TEST_F(ScreenOptionTest, PreviewsShowThePendingLook) {
    LOGPEN pen{PS_SOLID, {1, 0}, RGB(255, 0, 0)};
    frame.SetUpdateLOGPEN(&pen);
    frame.SetUpdateBkColor(RGB(0, 0, 255));
    frame.SetUpdateTextColor(RGB(0, 255, 0));
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        const QImage line = Control<QWidget>(d, 2009)->grab().toImage();
        const int w = line.width();
        const int h = line.height();
        EXPECT_EQ(line.pixel(w / 2, h / 2), qRgb(255, 0, 0));
        EXPECT_EQ(line.pixel(w / 2, 1), qRgb(0, 0, 255));
        const QImage text = Control<QWidget>(d, 2010)->grab().toImage();
        EXPECT_EQ(text.pixel(1, 1), qRgb(0, 0, 255));
        int green = 0;
        for (int y = 0; y < text.height(); ++y) {
            for (int x = 0; x < text.width(); ++x) {
                green += text.pixel(x, y) == qRgb(0, 255, 0);
            }
        }
        EXPECT_GT(green, 10); // the sample text in the pending text colour
        Click(d, 2);
    });
    DoModalScreenOptionDlg(&list);
}

TEST_F(ScreenOptionTest, LineWidthStaysBetweenOneAndFour) {
    LOGPEN pen;
    frame.GetLOGPEN(&pen);
    pen.lopnWidth.x = 3;
    frame.SetUpdateLOGPEN(&pen);
    QString shown;
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        auto* spin = Control<CUpDownControl>(d, 2012);
        spin->stepBy(1);
        EXPECT_EQ(frame.GetLineWidth(), 4);
        spin->stepBy(1);
        EXPECT_EQ(frame.GetLineWidth(), 4);
        shown = Control<QLabel>(d, 2013)->text();
        for (int i = 0; i < 5; ++i) {
            spin->stepBy(-1);
        }
        EXPECT_EQ(frame.GetLineWidth(), 1);
        Click(d, 1);
    });
    DoModalScreenOptionDlg(&list);
    CString expected;
    expected.Format(CheckedFormat(GetLibraryString(9), "d", "%d"), 4);
    EXPECT_EQ(shown, QString::fromUtf8(expected.c_str()));
    EXPECT_EQ(linked.GetLineWidth(), 1); // the chain follows
}

TEST_F(ScreenOptionTest, OkStagesEditsAlongTheChainUntilTheNextSelection) {
    const COLORREF oldBack = frame.GetBackGroundColor();
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        WhenModal<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(10, 20, 30));
            c->accept();
        });
        Click(d, 2003);
        Q_EMIT Control<QComboBox>(d, 2011)->activated(2); // dotted
        EXPECT_EQ(Control<QComboBox>(d, 2011)->currentIndex(), 2);
        EXPECT_EQ(frame.GetUpdateFlag(), 0); // nothing is applied before OK
        Click(d, 1);
    });
    DoModalScreenOptionDlg(&list);
    for (CDrawObject* o : {&frame, &linked}) {
        EXPECT_EQ(o->GetUpdateBkColor(), RGB(10, 20, 30));
        EXPECT_EQ(o->GetLineStyle(), static_cast<UINT>(PS_DOT));
        EXPECT_EQ(o->GetUpdateFlag(), 1);
        EXPECT_EQ(o->GetBackGroundColor(), oldBack); // applied at the next selection
        LOGPEN live;
        o->GetPen()->GetLogPen(&live);
        EXPECT_EQ(live.lopnStyle, static_cast<UINT>(PS_SOLID));
    }
    EXPECT_EQ(trace.GetUpdateBkColor(), oldBack);
    EXPECT_EQ(trace.GetUpdateFlag(), 1); // OK flags every listed object
    linked.UpdateDrawObjectNow();
    EXPECT_EQ(linked.GetBackGroundColor(), RGB(10, 20, 30));
}

TEST_F(ScreenOptionTest, FontButtonStagesTheChosenFontAlongTheChain) {
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        WhenModal<LibDialog::CFontChoiceDialog>([](LibDialog::CFontChoiceDialog* f) {
            EXPECT_EQ(f->findChild<QWidget*>(LibDialog::kFontColorButtonName), nullptr);
            auto* chooser = f->findChild<QFontDialog*>(LibDialog::kFontChooserName);
            QFont font = chooser->currentFont();
            font.setStrikeOut(true);
            chooser->setCurrentFont(font);
            f->accept();
        });
        Click(d, 2007);
        Click(d, 1);
    });
    DoModalScreenOptionDlg(&list);
    LOGFONT font;
    linked.GetLOGFONT(&font);
    EXPECT_EQ(font.lfStrikeOut, 1);
    linked.GetLogFont(&font);
    EXPECT_EQ(font.lfStrikeOut, 0); // live font: at the next selection
}

TEST_F(ScreenOptionTest, CancelPutsTheStagedValuesBack) {
    LOGPEN before;
    frame.GetLOGPEN(&before);
    const COLORREF text = linked.GetUpdateTextColor();
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        WhenModal<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(200, 0, 0));
            c->accept();
        });
        Click(d, 2006);
        Control<CUpDownControl>(d, 2012)->stepBy(1);
        EXPECT_EQ(linked.GetUpdateTextColor(), RGB(200, 0, 0));
        Click(d, 2);
    });
    DoModalScreenOptionDlg(&list);
    EXPECT_EQ(linked.GetUpdateTextColor(), text);
    EXPECT_EQ(frame.GetLineWidth(), before.lopnWidth.x);
    EXPECT_EQ(frame.GetUpdateFlag(), 0);
}

TEST_F(ScreenOptionTest, AnEmptyListOpensWithEverythingDisabled) {
    CDrawObjectList none;
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) {
        EXPECT_EQ(List(d)->count(), 0);
        EXPECT_FALSE(Control<QPushButton>(d, 2003)->isEnabled());
        Control<CUpDownControl>(d, 2012)->stepBy(1); // nothing to change, no crash
        Click(d, 1);
    });
    DoModalScreenOptionDlg(&none);
    WhenModal<CScreenOptionDlg>([&](CScreenOptionDlg* d) { Click(d, 2); });
    DoModalScreenOptionDlg(nullptr);
}

} // namespace
