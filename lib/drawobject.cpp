// CDrawObject: drawing attributes with profile and setting-file persistence,
// staged updates and update-link chains; ConvertLOGFONT.
#include "lib/drawobject.h"

#include "lib/dialogs/fontdialog.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/valuetext.h"
#include "platform/dc.h"
#include "platform/profile.h"

#include <QApplication>

#include <cstdint>
#include <cstring>

namespace {

// Two font descriptions that match the same font.
bool SameLogFont(const LOGFONT& a, const LOGFONT& b) {
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
           a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight &&
           a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
           a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
           a.lfOutPrecision == b.lfOutPrecision && a.lfClipPrecision == b.lfClipPrecision &&
           a.lfQuality == b.lfQuality && a.lfPitchAndFamily == b.lfPitchAndFamily &&
           std::strncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE) == 0;
}

int Ranged(const char* value, long long v) {
    for (const DrawValueRange& r : DrawObjectValueRanges())
        if (std::strcmp(r.value, value) == 0) {
            if (v >= r.low && v <= r.high)
                return static_cast<int>(v);
            return !r.clamp ? r.fallback : v < r.low ? r.low : r.high;
        }
    return static_cast<int>(v);
}

// Profile keys, section = ID string.
constexpr char kProfileTitle[] = "Title";
constexpr char kProfileBack[] = "Back";
constexpr char kProfileText[] = "Text";
constexpr char kProfilePen[] = "Pen";
constexpr char kProfileBrush[] = "Brush";
constexpr char kProfileFont[] = "Font";
constexpr char kDefaultTitle[] = "NON";

// Setting data file keys, section chosen by the owner.
constexpr char kSettingTitle[] = "IDString";
constexpr char kSettingBack[] = "BackGroundColor";
constexpr char kSettingText[] = "TextColor";
constexpr char kSettingPen[] = "LogPen";
constexpr char kSettingBrush[] = "LogBrush";
constexpr char kSettingFont[] = "LogFont";
constexpr char kSettingProfileFlag[] = "ProfileFlag";

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The face of the fallback font of ConvertLOGFONT (MS Gothic in full-width letters).
constexpr char kGothicFace[] = "ＭＳゴシック";

LOGBRUSH DefaultBrush() {
    LOGBRUSH brush;
    brush.lbStyle = BS_SOLID;
    brush.lbColor = kWhite;
    brush.lbHatch = 0;
    return brush;
}

// Copies text into a field of capacity + 1 bytes, never cutting a UTF-8 character.
template <size_t N> void CopyBounded(char (&field)[N], const char* text) {
    size_t length = text != nullptr ? strnlen(text, N) : 0;
    if (length > N - 1) {
        length = N - 1;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(field, text != nullptr ? text : "", length);
    std::memset(field + length, 0, N - length);
}

} // namespace

CDrawObject::CDrawObject() : CDrawObject(0, nullptr) {}

CDrawObject::CDrawObject(WORD idNumber, const char* idString)
    : m_IDNumber(idNumber), m_LogPen(ValueText::DefaultPen()), m_LogBrush(DefaultBrush()),
      m_LogFont(ValueText::FixedSysFont()) {
    if (idString != nullptr) {
        SetIDString(idString);
        LoadProfile();
    } else {
        // Without a profile section the object still has usable defaults and live objects.
        CreateGdiObjects();
    }
    m_ProfileFlag = 0;
    m_UpdateFlag = 0;
    m_pNextLink = nullptr;
    m_Mask = kMaskAll;
}

CDrawObject::~CDrawObject() {
    WriteProfile();
    DeleteGdiObjects();
}

void CDrawObject::CreateGdiObjects() {
    m_Pen.CreatePenIndirect(&m_LogPen);
    m_Brush.CreateBrushIndirect(&m_LogBrush);
    m_Font.CreateFontIndirect(&m_LogFont);
}

void CDrawObject::DeleteGdiObjects() {
    m_Font.DeleteObject();
    m_Brush.DeleteObject();
    m_Pen.DeleteObject();
}

const std::vector<DrawValueRange>& DrawObjectValueRanges() {
    // Widths and sizes in pixels, angles in tenths of a degree.
    static const std::vector<DrawValueRange> ranges{
        {"Pen.Style", static_cast<int>(PS_SOLID), static_cast<int>(PS_INSIDEFRAME),
         static_cast<int>(PS_SOLID), false},
        {"Pen.Width", 0, 64, 1, true},
        {"Brush.Style", static_cast<int>(BS_SOLID), static_cast<int>(BS_HATCHED),
         static_cast<int>(BS_SOLID), false},
        {"Brush.Hatch", HS_HORIZONTAL, HS_DIAGCROSS, HS_HORIZONTAL, false},
        {"Font.Height", -512, 512, 0, true},
        {"Font.Width", 0, 512, 0, true},
        {"Font.Escapement", -3600, 3600, 0, true},
        {"Font.Orientation", -3600, 3600, 0, true},
        {"Font.Weight", 0, 1000, 400, true},
    };
    return ranges;
}

void CheckDrawValues(LOGPEN* pen, LOGBRUSH* brush, LOGFONT* font) {
    pen->lopnStyle = static_cast<UINT>(Ranged("Pen.Style", pen->lopnStyle));
    pen->lopnWidth.x = Ranged("Pen.Width", pen->lopnWidth.x);
    brush->lbStyle = static_cast<UINT>(Ranged("Brush.Style", brush->lbStyle));
    brush->lbHatch = static_cast<std::uintptr_t>(
        Ranged("Brush.Hatch", static_cast<long long>(static_cast<std::intptr_t>(brush->lbHatch))));
    font->lfHeight = Ranged("Font.Height", font->lfHeight);
    font->lfWidth = Ranged("Font.Width", font->lfWidth);
    font->lfEscapement = Ranged("Font.Escapement", font->lfEscapement);
    font->lfOrientation = Ranged("Font.Orientation", font->lfOrientation);
    font->lfWeight = Ranged("Font.Weight", font->lfWeight);
}

int CDrawObject::LoadProfile() {
    const char* section = m_IDString;
    SetTitleString(GetProfileString(section, kProfileTitle, kDefaultTitle));
    m_BkColor = GetProfileRGB(section, kProfileBack, kWhite);
    m_TextColor = GetProfileRGB(section, kProfileText, kBlack);
    GetProfileLOGPEN(section, kProfilePen, &m_LogPen);
    GetProfileLOGBRUSH(section, kProfileBrush, &m_LogBrush);
    GetProfileLOGFONT(section, kProfileFont, &m_LogFont);
    CheckDrawValues(&m_LogPen, &m_LogBrush, &m_LogFont);
    // Live objects always follow the descriptions just read, also when the
    // object is loaded a second time under another ID string.
    DeleteGdiObjects();
    CreateGdiObjects();
    m_UpdateBkColor = m_BkColor;
    m_UpdateTextColor = m_TextColor;
    m_ProfileFlag = 1;
    return 1;
}

int CDrawObject::WriteProfile() {
    // An object without an ID string has no section to write to.
    if (m_ProfileFlag == 0 || m_IDString[0] == '\0') {
        return 0;
    }
    const char* section = m_IDString;
    WriteProfileString(section, kProfileTitle, m_Title);
    WriteProfileRGB(section, kProfileBack, m_BkColor);
    WriteProfileRGB(section, kProfileText, m_TextColor);
    WriteProfileLOGPEN(section, kProfilePen, &m_LogPen);
    WriteProfileLOGBRUSH(section, kProfileBrush, &m_LogBrush);
    WriteProfileLOGFONT(section, kProfileFont, &m_LogFont);
    return 1;
}

int CDrawObject::WriteSettingFile(CString section) {
    CString title(m_Title);
    WriteSettingFileSTRING(section, kSettingTitle, title);
    WriteSettingFileRGB(section, kSettingBack, m_BkColor);
    WriteSettingFileRGB(section, kSettingText, m_TextColor);
    WriteSettingFileLOGPEN(section, kSettingPen, &m_LogPen);
    WriteSettingFileLOGBRUSH(section, kSettingBrush, &m_LogBrush);
    WriteSettingFileLOGFONT(section, kSettingFont, &m_LogFont);
    WriteSettingFileINT(section, kSettingProfileFlag, m_ProfileFlag);
    return 1;
}

int CDrawObject::ReadSettingFile(CString section) {
    int found = 0;
    CString title;
    found += GetSettingFileSTRING(section, kSettingTitle, title);
    SetTitleString(title); // empty when the key is missing
    found += GetSettingFileRGB(section, kSettingBack, &m_BkColor);
    found += GetSettingFileRGB(section, kSettingText, &m_TextColor);
    found += GetSettingFileLOGPEN(section, kSettingPen, &m_LogPen);
    found += GetSettingFileLOGBRUSH(section, kSettingBrush, &m_LogBrush);
    LOGFONT held;
    const bool fontMade = m_Font.GetLogFont(&held) != 0;
    found += GetSettingFileLOGFONT(section, kSettingFont, &m_LogFont);
    CheckDrawValues(&m_LogPen, &m_LogBrush, &m_LogFont);
    m_Pen.DeleteObject();
    m_Pen.CreatePenIndirect(&m_LogPen);
    m_Brush.DeleteObject();
    m_Brush.CreateBrushIndirect(&m_LogBrush);
    // Matching a font is slow: a font whose description did not change is kept.
    if (!fontMade || !SameLogFont(held, m_LogFont)) {
        m_Font.DeleteObject();
        m_Font.CreateFontIndirect(&m_LogFont);
    }
    m_UpdateBkColor = m_BkColor;
    m_UpdateTextColor = m_TextColor;
    int flag = 0;
    if (GetSettingFileINT(section, kSettingProfileFlag, &flag)) {
        m_ProfileFlag = static_cast<unsigned char>(flag & 0xFF);
        ++found;
    }
    return found == 7 ? 1 : 0;
}

void CDrawObject::UpdateDrawObjectNow() {
    if (m_UpdateFlag == 0) {
        return;
    }
    m_BkColor = m_UpdateBkColor;
    m_TextColor = m_UpdateTextColor;
    DeleteGdiObjects();
    CreateGdiObjects();
    m_UpdateFlag = 0;
}

void CDrawObject::SelectDrawObject(CDC* dc, CDrawStockObject* stock) {
    UpdateDrawObjectNow();
    if (dc == nullptr) {
        return;
    }
    CPen* pen = dc->SelectObject(&m_Pen);
    CFont* font = dc->SelectObject(&m_Font);
    CBrush* brush = dc->SelectObject(&m_Brush);
    const COLORREF bk = dc->SetBkColor(m_BkColor);
    const COLORREF text = dc->SetTextColor(m_TextColor);
    if (stock != nullptr) {
        stock->m_pPen = pen;
        stock->m_pFont = font;
        stock->m_pBrush = brush;
        stock->m_BkColor = bk;
        stock->m_TextColor = text;
    }
}

void CDrawObject::AddUpdateLink(CDrawObject* object) {
    if (object == nullptr) {
        return;
    }
    CDrawObject* last = this;
    while (last->m_pNextLink != nullptr) {
        last = last->m_pNextLink;
    }
    // Linking an object whose chain reaches our last object would close a loop.
    for (CDrawObject* o = object; o != nullptr; o = o->m_pNextLink) {
        if (o == last) {
            return;
        }
    }
    last->m_pNextLink = object;
}

void CDrawObject::SetUpdateFlag() {
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_UpdateFlag = 1;
    }
}

void CDrawObject::SetUpdateBkColor(COLORREF color) {
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_UpdateBkColor = color;
    }
}

void CDrawObject::SetUpdateTextColor(COLORREF color) {
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_UpdateTextColor = color;
    }
}

void CDrawObject::SetUpdateLOGPEN(const LOGPEN* pen) {
    if (pen == nullptr) {
        return;
    }
    const LOGPEN copy = *pen; // pen may be a field of an object of the chain
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_LogPen = copy;
    }
}

void CDrawObject::SetUpdateLOGBRUSH(const LOGBRUSH* brush) {
    if (brush == nullptr) {
        return;
    }
    const LOGBRUSH copy = *brush;
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_LogBrush = copy;
    }
}

void CDrawObject::SetUpdateLOGFONT(const LOGFONT* font) {
    if (font == nullptr) {
        return;
    }
    const LOGFONT copy = *font;
    for (CDrawObject* o = this; o != nullptr; o = o->m_pNextLink) {
        o->m_LogFont = copy;
    }
}

void CDrawObject::GetLOGPEN(LOGPEN* pen) const {
    if (pen != nullptr) {
        *pen = m_LogPen;
    }
}

void CDrawObject::GetLOGBRUSH(LOGBRUSH* brush) const {
    if (brush != nullptr) {
        *brush = m_LogBrush;
    }
}

void CDrawObject::GetLOGFONT(LOGFONT* font) const {
    if (font != nullptr) {
        *font = m_LogFont;
    }
}

void CDrawObject::GetLogFont(LOGFONT* font) {
    if (font != nullptr) {
        m_Font.GetLogFont(font);
    }
}

void CDrawObject::SetIDString(const char* idString) {
    CopyBounded(m_IDString, idString);
}

void CDrawObject::SetTitleString(const char* title) {
    CopyBounded(m_Title, title);
    // The title names sections and is written as a value of a line: a control
    // character (a line end above all) would break the line it is written to.
    for (char& c : m_Title)
        if (c != '\0' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F))
            c = ' ';
}

int CDrawObject::TitleComparison(const char* text) const {
    return text != nullptr && std::strcmp(text, m_Title) == 0 ? 1 : 0;
}

CDrawObject::CStagedAttributes CDrawObject::GetStagedAttributes() const {
    CStagedAttributes staged;
    staged.pen = m_LogPen;
    staged.brush = m_LogBrush;
    staged.font = m_LogFont;
    staged.bkColor = m_UpdateBkColor;
    staged.textColor = m_UpdateTextColor;
    return staged;
}

void CDrawObject::RestoreStagedAttributes(const CStagedAttributes& staged) {
    m_LogPen = staged.pen;
    m_LogBrush = staged.brush;
    m_LogFont = staged.font;
    m_UpdateBkColor = staged.bkColor;
    m_UpdateTextColor = staged.textColor;
}

int CDrawObject::DoModalFontDialog() {
    m_Font.GetLogFont(&m_LogFont);
    COLORREF color = kBlack; // the colour box starts at black
    if (!LibDialog::ChooseFont(QApplication::activeWindow(), &m_LogFont, &color)) {
        return 0;
    }
    m_Font.DeleteObject();
    m_Font.CreateFontIndirect(&m_LogFont);
    m_TextColor = color;
    return 1;
}

extern "C" void ConvertLOGFONT(LOGFONT* out, const char* text) {
    if (out == nullptr) {
        return;
    }
    if (text != nullptr && ValueText::ParseLOGFONT(text, out)) {
        return;
    }
    LOGFONT font;
    font.lfHeight = -13; // 10 points at 96 pixels per inch
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    ValueText::SetFaceName(&font, kGothicFace, sizeof kGothicFace - 1);
    *out = font;
}
