// Draw objects: profile defaults and round trips, setting-file keys, staged
// updates and update-link chains, selection into a DC, the font dialog and
// ConvertLOGFONT.
#include "lib/dialogs/fontdialog.h"
#include "lib/drawobject.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "lib/valuetext.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <QFontDialog>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

bool SameFont(const LOGFONT& a, const LOGFONT& b) {
    return a.lfHeight == b.lfHeight && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic &&
           a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut &&
           a.lfCharSet == b.lfCharSet && a.lfPitchAndFamily == b.lfPitchAndFamily &&
           std::strcmp(a.lfFaceName, b.lfFaceName) == 0;
}

struct DrawObjectTest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        InitializeTorvelLibDLL((std::string(TORVEL_SOURCE_RESOURCES) + "/Torvel.txt").c_str(),
                               2500);
        SetProfileFile(dir.file("TORVEL.INI").c_str());
        ReleaseSettingFileObject();
    }
    void TearDown() override { ReleaseSettingFileObject(); }
    static CString Profile(const char* section, const char* key) {
        return GetProfileString(section, key, "<missing>");
    }
};

// A DC over a small image, for checking what a selection does.
struct ImageDC {
    QImage image{16, 16, QImage::Format_RGB32};
    CDC dc{&image};
    ImageDC() { image.fill(Qt::white); }
    COLORREF Pixel(int x, int y) {
        dc.Flush();
        const QRgb p = image.pixel(x, y);
        return RGB(qRed(p), qGreen(p), qBlue(p));
    }
};

// ---- profile ------------------------------------------------------------------------------

TEST_F(DrawObjectTest, EmptyProfileSectionGivesDefaultsAndWritesNothing) {
    {
        CDrawObject object(7, "EMPTY_SECTION");
        EXPECT_STREQ(object.GetTitleString(), "NON");
        LOGFONT font;
        object.GetLOGFONT(&font);
        EXPECT_TRUE(SameFont(font, ValueText::FixedSysFont()));
        EXPECT_NE(object.GetPen()->GetSafeHandle(), nullptr);
        EXPECT_NE(object.GetFont()->GetSafeHandle(), nullptr);
        EXPECT_NE(object.GetBrush()->GetSafeHandle(), nullptr);
    }
    EXPECT_EQ(Profile("EMPTY_SECTION", "Title"), "<missing>");
    EXPECT_EQ(Profile("EMPTY_SECTION", "Back"), "<missing>");
}

TEST_F(DrawObjectTest, ProfileRoundTripWithTheFlagSet) {
    WriteProfileString("GRAPH_FRAME", "Title", "Frame");
    WriteProfileString("GRAPH_FRAME", "Back", "10,20,30");
    WriteProfileString("GRAPH_FRAME", "Text", "300,0,0"); // red 300 is 44
    WriteProfileString("GRAPH_FRAME", "Pen", "2,3,0,128,0");
    WriteProfileString("GRAPH_FRAME", "Brush", "2,4,1,2,3");
    WriteProfileString("GRAPH_FRAME", "Font", "-20,0,0,0,700,1,0,0,0,0,0,0,0,Sans,Bold");
    {
        CDrawObject object(1, "GRAPH_FRAME");
        EXPECT_STREQ(object.GetTitleString(), "Frame");
        EXPECT_EQ(object.GetBackGroundColor(), RGB(10, 20, 30));
        EXPECT_EQ(object.GetTextColor(), RGB(44, 0, 0));
        EXPECT_EQ(object.GetLineStyle(), 2u);
        EXPECT_EQ(object.GetLineWidth(), 3);
        EXPECT_EQ(object.GetLineColor(), RGB(0, 128, 0));
        LOGFONT font;
        object.GetLogFont(&font); // from the live font
        EXPECT_EQ(font.lfHeight, -20);
        EXPECT_STREQ(font.lfFaceName, "Bold"); // the text after the last comma
        LOGPEN live;
        object.GetPen()->GetLogPen(&live);
        EXPECT_EQ(live.lopnWidth.x, 3);

        object.SetTitleString("Renamed");
        object.SetProfileFlag(1);
    }
    EXPECT_EQ(Profile("GRAPH_FRAME", "Title"), "Renamed");
    EXPECT_EQ(Profile("GRAPH_FRAME", "Back"), "10,20,30");
    EXPECT_EQ(Profile("GRAPH_FRAME", "Text"), "44,0,0");
    EXPECT_EQ(Profile("GRAPH_FRAME", "Pen"), "2,3,0,128,0");
    EXPECT_EQ(Profile("GRAPH_FRAME", "Brush"), "2,4,1,2,3");
    EXPECT_EQ(Profile("GRAPH_FRAME", "Font"), "-20,0,0,0,700,1,0,0,0,0,0,0,0,Bold");
}

TEST_F(DrawObjectTest, LoadingUnderASecondIdReplacesTheLiveObjects) {
    WriteProfileString("FIRST", "Pen", "0,1,1,1,1");
    WriteProfileString("SECOND", "Pen", "0,4,9,9,9");
    CDrawObject object(1, "FIRST");
    object.SetIDString("SECOND");
    EXPECT_EQ(object.LoadProfile(), 1);
    EXPECT_EQ(object.GetProfileFlag(), 1);
    LOGPEN live;
    object.GetPen()->GetLogPen(&live);
    EXPECT_EQ(live.lopnWidth.x, 4);
    EXPECT_EQ(live.lopnColor, RGB(9, 9, 9));
    object.SetProfileFlag(0);
}

TEST_F(DrawObjectTest, ObjectWithoutIdStringIsUsableAndNeverWritesTheProfile) {
    {
        CDrawObject object;
        EXPECT_EQ(object.GetIDNumber(), 0);
        EXPECT_STREQ(object.GetIDString(), "");
        EXPECT_STREQ(object.GetTitleString(), "");
        ImageDC target;
        object.SelectDrawObject(&target.dc, nullptr);
        EXPECT_EQ(target.dc.GetCurrentPen(), object.GetPen());
        object.SetProfileFlag(1);
        EXPECT_EQ(object.WriteProfile(), 0);
    }
    EXPECT_EQ(Profile("", "Title"), "<missing>");
}

TEST_F(DrawObjectTest, LongTextsAreCutAtACharacterBoundary) {
    CDrawObject object;
    const std::string longTitle(300, 'x');
    object.SetTitleString(longTitle.c_str());
    EXPECT_EQ(std::strlen(object.GetTitleString()), 127u);
    // 62 ASCII bytes and a 3-byte character: the character does not fit in 63.
    const std::string id = std::string(62, 'a') + "\xe3\x82\xb4";
    object.SetIDString(id.c_str());
    EXPECT_EQ(std::string(object.GetIDString()), std::string(62, 'a'));
    object.SetTitleString("トレース");
    EXPECT_EQ(object.TitleComparison("トレース"), 1);
    EXPECT_EQ(object.TitleComparison("トレー"), 0);
    object.SetTitleString("Trace");
    EXPECT_EQ(object.TitleComparison("trace"), 0);
    EXPECT_EQ(object.TitleComparison(nullptr), 0);
}

// ---- setting data file --------------------------------------------------------------------

TEST_F(DrawObjectTest, SettingFileRoundTripThroughDisk) {
    CDrawObject source(1, nullptr);
    source.SetTitleString("Trace2");
    source.SetUpdateBkColor(RGB(1, 2, 3));
    source.SetUpdateTextColor(RGB(4, 5, 6));
    source.SetUpdateFlag();
    source.UpdateDrawObjectNow();
    LOGPEN pen{PS_DASH, {2, 0}, RGB(7, 8, 9)};
    source.SetUpdateLOGPEN(&pen);
    LOGFONT font;
    ConvertLOGFONT(&font, "-15,0,0,0,400,0,1,0,0,0,0,0,0,Serif");
    source.SetUpdateLOGFONT(&font);
    source.SetProfileFlag(1);
    EXPECT_EQ(source.WriteSettingFile("TRACE_2"), 1);
    const std::string path = dir.file("work.spe");
    ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
    source.SetProfileFlag(0);

    ReleaseSettingFileObject();
    ASSERT_EQ(LoadSettingFile(path.c_str()), 1);
    CDrawObject copy;
    EXPECT_EQ(copy.ReadSettingFile("TRACE_2"), 1);
    EXPECT_STREQ(copy.GetTitleString(), "Trace2");
    EXPECT_EQ(copy.GetBackGroundColor(), RGB(1, 2, 3));
    EXPECT_EQ(copy.GetUpdateBkColor(), RGB(1, 2, 3));
    EXPECT_EQ(copy.GetTextColor(), RGB(4, 5, 6));
    EXPECT_EQ(copy.GetUpdateTextColor(), RGB(4, 5, 6));
    EXPECT_EQ(copy.GetLineStyle(), static_cast<UINT>(PS_DASH));
    EXPECT_EQ(copy.GetLineColor(), RGB(7, 8, 9));
    EXPECT_EQ(copy.GetProfileFlag(), 1);
    LOGPEN live;
    copy.GetPen()->GetLogPen(&live); // re-created from what was read
    EXPECT_EQ(live.lopnWidth.x, 2);
    LOGFONT liveFont;
    copy.GetLogFont(&liveFont);
    EXPECT_TRUE(SameFont(liveFont, font));
    copy.SetProfileFlag(0);

    // The keys and their order in the section.
    const std::string text = ReadWholeFile(path);
    const size_t at = text.find("[TRACE_2]");
    ASSERT_NE(at, std::string::npos);
    const char* keys[] = {
        "IDString=Trace2", "BackGroundColor=1,2,3", "TextColor=4,5,6", "LogPen=1,2,7,8,9",
        "LogBrush=",       "LogFont=-15,",          "ProfileFlag=1"};
    size_t pos = at;
    for (const char* key : keys) {
        const size_t next = text.find(key, pos);
        ASSERT_NE(next, std::string::npos) << key;
        pos = next;
    }
}

TEST_F(DrawObjectTest, PartialSettingSectionAppliesWhatItHas) {
    WriteSettingFileRGB("PARTIAL", "BackGroundColor", kRed);
    WriteSettingFileINT("PARTIAL", "ProfileFlag", 0x101); // low 8 bits: 1
    CDrawObject object;
    object.SetTitleString("Kept?");
    object.SetUpdateTextColor(kBlue); // pending, overwritten by the read
    EXPECT_EQ(object.ReadSettingFile("PARTIAL"), 0);
    EXPECT_STREQ(object.GetTitleString(), ""); // no IDString: emptied
    EXPECT_EQ(object.GetBackGroundColor(), kRed);
    EXPECT_EQ(object.GetUpdateBkColor(), kRed);
    EXPECT_EQ(object.GetTextColor(), kBlack);
    EXPECT_EQ(object.GetUpdateTextColor(), kBlack);
    EXPECT_EQ(object.GetProfileFlag(), 1);

    // A missing ProfileFlag keeps the flag as it was.
    object.SetProfileFlag(0);
    EXPECT_EQ(object.ReadSettingFile("NO_SUCH_SECTION"), 0);
    EXPECT_EQ(object.GetProfileFlag(), 0);
    EXPECT_EQ(object.GetBackGroundColor(), kRed);
}

// ---- staged updates and chains ------------------------------------------------------------

TEST_F(DrawObjectTest, PendingColoursWaitForTheUpdateFlagAndTheNextSelection) {
    CDrawObject object;
    ImageDC target;
    target.dc.SetBkColor(kBlue);
    object.SetUpdateBkColor(kRed);
    CDrawStockObject stock;
    object.SelectDrawObject(&target.dc, &stock);
    EXPECT_EQ(target.dc.GetBkColor(), kWhite); // still the current colour
    EXPECT_EQ(stock.m_BkColor, kBlue);
    EXPECT_EQ(object.GetUpdateBkColor(), kRed);

    object.SetUpdateFlag();
    EXPECT_EQ(object.GetBackGroundColor(), kWhite); // not before the selection
    object.SelectDrawObject(&target.dc, nullptr);
    EXPECT_EQ(target.dc.GetBkColor(), kRed);
    EXPECT_EQ(object.GetBackGroundColor(), kRed);
    EXPECT_EQ(object.GetUpdateFlag(), 0);
}

TEST_F(DrawObjectTest, SelectionRecordsWhatItDisplacedForRestoring) {
    CDrawObject object;
    ImageDC target;
    CPen* pen0 = target.dc.GetCurrentPen();
    CFont* font0 = target.dc.GetCurrentFont();
    CBrush* brush0 = target.dc.GetCurrentBrush();
    target.dc.SetTextColor(kBlue);
    target.dc.SetBkColor(kRed);
    CDrawStockObject stock;
    object.SelectDrawObject(&target.dc, &stock);
    EXPECT_EQ(target.dc.GetCurrentPen(), object.GetPen());
    EXPECT_EQ(target.dc.GetCurrentFont(), object.GetFont());
    EXPECT_EQ(target.dc.GetCurrentBrush(), object.GetBrush());
    EXPECT_EQ(target.dc.GetTextColor(), kBlack);
    EXPECT_EQ(stock.m_pPen, pen0);
    EXPECT_EQ(stock.m_pFont, font0);
    EXPECT_EQ(stock.m_pBrush, brush0);
    EXPECT_EQ(stock.m_TextColor, kBlue);
    EXPECT_EQ(stock.m_BkColor, kRed);
    object.SelectDrawObject(nullptr, nullptr); // applies, selects nothing
}

TEST_F(DrawObjectTest, ChainCarriesEditsDownstreamAndEachAppliesAtItsOwnSelection) {
    CDrawObject a, b, c;
    a.AddUpdateLink(&b);
    a.AddUpdateLink(&c); // appended after b
    EXPECT_EQ(a.GetUpdateLink(), &b);
    EXPECT_EQ(b.GetUpdateLink(), &c);

    b.SetUpdateTextColor(kBlue); // from the middle: b and c only
    EXPECT_EQ(a.GetUpdateTextColor(), kBlack);
    EXPECT_EQ(c.GetUpdateTextColor(), kBlue);
    a.SetUpdateBkColor(kRed);
    for (CDrawObject* o : {&a, &b, &c}) {
        EXPECT_EQ(o->GetUpdateBkColor(), kRed);
        EXPECT_EQ(o->GetUpdateFlag(), 0);
    }

    a.SetUpdateFlag();
    ImageDC target;
    c.SelectDrawObject(&target.dc, nullptr);
    EXPECT_EQ(target.dc.GetBkColor(), kRed);
    EXPECT_EQ(target.dc.GetTextColor(), kBlue);
    EXPECT_EQ(b.GetBackGroundColor(), kWhite); // b waits for its own selection
    EXPECT_EQ(b.GetUpdateFlag(), 1);
    b.UpdateDrawObjectNow();
    EXPECT_EQ(b.GetBackGroundColor(), kRed);
    EXPECT_EQ(b.GetUpdateFlag(), 0);
}

TEST_F(DrawObjectTest, DescriptionsChangeAtOnceButTheLivePenOnlyAtApplication) {
    CDrawObject a, b;
    a.AddUpdateLink(&b);
    LOGPEN red{PS_SOLID, {1, 0}, kRed};
    a.SetUpdateLOGPEN(&red);
    EXPECT_EQ(b.GetLineColor(), kRed);
    EXPECT_EQ(b.GetUpdateFlag(), 0); // descriptions do not set the flag
    LOGPEN live;
    b.GetPen()->GetLogPen(&live);
    EXPECT_EQ(live.lopnColor, kBlack);

    // Drawing with the selected object shows the old pen until the flag is set.
    ImageDC target;
    b.SelectDrawObject(&target.dc, nullptr);
    target.dc.MoveTo(0, 5);
    target.dc.LineTo(10, 5);
    EXPECT_EQ(target.Pixel(3, 5), kBlack);
    a.SetUpdateFlag();
    b.SelectDrawObject(&target.dc, nullptr);
    target.dc.MoveTo(0, 6);
    target.dc.LineTo(10, 6);
    EXPECT_EQ(target.Pixel(3, 6), kRed);

    LOGBRUSH brush{BS_SOLID, kBlue, 0};
    LOGFONT font = ValueText::FixedSysFont();
    font.lfHeight = -30;
    a.SetUpdateLOGBRUSH(&brush);
    a.SetUpdateLOGFONT(&font);
    LOGBRUSH got;
    b.GetLOGBRUSH(&got);
    EXPECT_EQ(got.lbColor, kBlue);
    LOGFONT liveFont;
    b.GetLogFont(&liveFont);
    EXPECT_NE(liveFont.lfHeight, -30);
    a.SetUpdateFlag();
    b.UpdateDrawObjectNow();
    b.GetLogFont(&liveFont);
    EXPECT_EQ(liveFont.lfHeight, -30);
}

TEST_F(DrawObjectTest, ALinkThatWouldCloseALoopIsRefused) {
    CDrawObject a, b, c;
    a.AddUpdateLink(&b);
    b.AddUpdateLink(&c);
    c.AddUpdateLink(&a); // a's chain reaches c
    a.AddUpdateLink(&a);
    b.AddUpdateLink(&b);
    a.AddUpdateLink(&c); // already on the chain
    a.AddUpdateLink(nullptr);
    EXPECT_EQ(c.GetUpdateLink(), nullptr);
    EXPECT_EQ(b.GetUpdateLink(), &c);
    a.SetUpdateFlag(); // ends
    EXPECT_EQ(c.GetUpdateFlag(), 1);

    // Two chains may share a tail.
    CDrawObject d;
    d.AddUpdateLink(&b);
    d.SetUpdateBkColor(kRed);
    EXPECT_EQ(c.GetUpdateBkColor(), kRed);
    EXPECT_EQ(a.GetUpdateBkColor(), kWhite);
}

// ---- fonts --------------------------------------------------------------------------------

TEST_F(DrawObjectTest, ConvertLOGFONTParsesOrFallsBackToTenPointGothic) {
    LOGFONT font;
    ConvertLOGFONT(&font, "");
    EXPECT_STREQ(font.lfFaceName, "ＭＳゴシック");
    EXPECT_EQ(font.lfHeight, -13);
    LOGFONT again;
    ConvertLOGFONT(&again, "12,0,0,0"); // too few numbers
    EXPECT_TRUE(SameFont(again, font));
    ConvertLOGFONT(&again, nullptr);
    EXPECT_TRUE(SameFont(again, font));

    ConvertLOGFONT(&font, "-16,0,0,0,700,5,0,1,128,0,0,0,49,Mono");
    EXPECT_EQ(font.lfHeight, -16);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfItalic, 1); // non-zero is 1
    EXPECT_EQ(font.lfStrikeOut, 1);
    EXPECT_EQ(font.lfCharSet, 128);
    EXPECT_STREQ(font.lfFaceName, "Mono");
    const std::string longFace = "-16,0,0,0,400,0,0,0,0,0,0,0,0," + std::string(80, 'F');
    ConvertLOGFONT(&font, longFace.c_str());
    EXPECT_EQ(std::strlen(font.lfFaceName), static_cast<size_t>(LF_FACESIZE - 1));
}

TEST_F(DrawObjectTest, FontDialogSetsTheLiveFontAndTheCurrentTextColourOnOk) {
    CDrawObject object;
    object.SetUpdateTextColor(kBlue);
    QTimer::singleShot(50, [] {
        auto* d = qobject_cast<LibDialog::CFontChoiceDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->GetColor(), kBlack); // the colour box starts at black
        auto* chooser = d->findChild<QFontDialog*>(LibDialog::kFontChooserName);
        ASSERT_NE(chooser, nullptr);
        QFont font = chooser->currentFont();
        font.setPixelSize(21);
        font.setUnderline(true);
        chooser->setCurrentFont(font);
        d->SetColor(RGB(0, 128, 0));
        d->findChild<QPushButton*>("1")->click();
    });
    EXPECT_EQ(object.DoModalFontDialog(), 1);
    EXPECT_EQ(object.GetTextColor(), RGB(0, 128, 0));
    EXPECT_EQ(object.GetUpdateTextColor(), kBlue); // the pending colour is not touched
    LOGFONT live, stored;
    object.GetLogFont(&live);
    object.GetLOGFONT(&stored);
    EXPECT_EQ(live.lfUnderline, 1);
    EXPECT_TRUE(SameFont(live, stored));

    QTimer::singleShot(50, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->reject();
    });
    EXPECT_EQ(object.DoModalFontDialog(), 0);
    EXPECT_EQ(object.GetTextColor(), RGB(0, 128, 0));
}

} // namespace
