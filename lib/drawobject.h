// CDrawObject: one named set of drawing attributes (title, background and text
// colours, pen, brush, font), kept both as descriptions and as live GDI
// objects, persisted in the profile and in setting data files. Edits are
// staged as pending values, applied at the next selection into a DC, and can
// be passed along an update-link chain to draw objects that must look alike.
// CDrawStockObject records what a selection displaced.
#pragma once

#include "platform/cstring.h"
#include "platform/gdiobjects.h"
#include "platform/wintypes.h"

#include <vector>

class CDC;

// The numbers inside a draw object's stored pen, brush and font (the profile's
// Pen, Brush and Font, a setting data file's LogPen, LogBrush and LogFont)
// with the range drawing can use: a width or a size outside it is brought to
// the nearer end, a style outside it becomes the fallback. Colours are bytes
// by their form; the title is text of at most CDrawObject::kMaxTitle bytes
// without control characters (SetTitleString).
struct DrawValueRange {
    const char* value; // "Pen.Width", "Font.Height", ...
    int low;
    int high;
    int fallback;
    bool clamp;
};
const std::vector<DrawValueRange>& DrawObjectValueRanges();
// Brings every number of pen, brush and font into its range.
void CheckDrawValues(LOGPEN* pen, LOGBRUSH* brush, LOGFONT* font);

// What SelectDrawObject displaced from a DC, for the caller to put back.
struct CDrawStockObject {
    COLORREF m_BkColor = 0;
    COLORREF m_TextColor = 0;
    CPen* m_pPen = nullptr;
    CBrush* m_pBrush = nullptr;
    CFont* m_pFont = nullptr;
};

class CDrawObject {
public:
    // Mask bits: which attributes the screen option dialog may change.
    static constexpr unsigned kMaskBackground = 1;
    static constexpr unsigned kMaskText = 2;
    static constexpr unsigned kMaskBrush = 4;
    static constexpr unsigned kMaskLine = 8;
    static constexpr unsigned kMaskFont = 16;
    static constexpr unsigned kMaskAll = 31;
    // Longest ID string and title kept, in bytes without the terminator.
    static constexpr int kMaxIDString = 63;
    static constexpr int kMaxTitle = 127;

    CDrawObject();
    // A non-null ID string names the profile section, which is loaded at once.
    explicit CDrawObject(WORD idNumber, const char* idString = nullptr);
    CDrawObject(const CDrawObject&) = delete;
    CDrawObject& operator=(const CDrawObject&) = delete;
    // Writes the profile when the profile flag is set.
    virtual ~CDrawObject();

    int LoadProfile();
    int WriteProfile();
    int WriteSettingFile(CString section);
    // 1 only when all seven keys were found and parsed; what was found is applied.
    int ReadSettingFile(CString section);

    // Applies pending values and selects pen, font, brush, background and text
    // colour into dc; stock (may be null) receives what they displaced.
    void SelectDrawObject(CDC* dc, CDrawStockObject* stock);
    void UpdateDrawObjectNow();

    // Appends object at the end of this object's chain. An object already on
    // the chain (or whose own chain leads back into it) is not linked again,
    // so a chain can never become endless.
    void AddUpdateLink(CDrawObject* object);
    CDrawObject* GetUpdateLink() const { return m_pNextLink; }
    // These act on this object and every object after it in its chain.
    void SetUpdateFlag();
    void SetUpdateBkColor(COLORREF color);
    void SetUpdateTextColor(COLORREF color);
    void SetUpdateLOGPEN(const LOGPEN* pen);
    void SetUpdateLOGBRUSH(const LOGBRUSH* brush);
    void SetUpdateLOGFONT(const LOGFONT* font);
    int GetUpdateFlag() const { return m_UpdateFlag; }

    void GetLOGPEN(LOGPEN* pen) const;
    void GetLOGBRUSH(LOGBRUSH* brush) const;
    void GetLOGFONT(LOGFONT* font) const;
    // The description as the live font reports it.
    void GetLogFont(LOGFONT* font);
    COLORREF GetLineColor() const { return m_LogPen.lopnColor; }
    int GetLineWidth() const { return m_LogPen.lopnWidth.x; }
    UINT GetLineStyle() const { return m_LogPen.lopnStyle; }
    COLORREF GetBackGroundColor() const { return m_BkColor; }
    COLORREF GetTextColor() const { return m_TextColor; }
    COLORREF GetUpdateBkColor() const { return m_UpdateBkColor; }
    COLORREF GetUpdateTextColor() const { return m_UpdateTextColor; }
    CPen* GetPen() { return &m_Pen; }
    CBrush* GetBrush() { return &m_Brush; }
    CFont* GetFont() { return &m_Font; }

    WORD GetIDNumber() const { return m_IDNumber; }
    void SetIDNumber(WORD idNumber) { m_IDNumber = idNumber; }
    const char* GetIDString() const { return m_IDString; }
    // Copies; texts longer than the field are cut at a character boundary.
    void SetIDString(const char* idString);
    const char* GetTitleString() const { return m_Title; }
    void SetTitleString(const char* title);
    // 1 when text equals the title exactly (case-sensitive), else 0.
    int TitleComparison(const char* text) const;

    unsigned GetMask() const { return m_Mask; }
    void SetMask(unsigned mask) { m_Mask = mask; }
    unsigned char GetProfileFlag() const { return m_ProfileFlag; }
    void SetProfileFlag(unsigned char flag) { m_ProfileFlag = flag; }

    // The staged part of this object alone (descriptions and pending colours),
    // so that an editor can put it back when the user cancels.
    struct CStagedAttributes {
        LOGPEN pen;
        LOGBRUSH brush;
        LOGFONT font;
        COLORREF bkColor = 0;
        COLORREF textColor = 0;
    };
    CStagedAttributes GetStagedAttributes() const;
    void RestoreStagedAttributes(const CStagedAttributes& staged);

    // The font dialog with colour, underline and strikeout: on OK the live font
    // and the text colour (not the pending one) take the choice. 1 on OK.
    int DoModalFontDialog();

private:
    void CreateGdiObjects();
    void DeleteGdiObjects();

    WORD m_IDNumber = 0;
    unsigned char m_ProfileFlag = 0;
    char m_IDString[kMaxIDString + 1] = {};
    char m_Title[kMaxTitle + 1] = {};
    LOGPEN m_LogPen;
    LOGBRUSH m_LogBrush;
    LOGFONT m_LogFont;
    unsigned m_Mask = kMaskAll;
    int m_UpdateFlag = 0;
    COLORREF m_UpdateBkColor = RGB(255, 255, 255);
    COLORREF m_UpdateTextColor = RGB(0, 0, 0);
    COLORREF m_BkColor = RGB(255, 255, 255);
    COLORREF m_TextColor = RGB(0, 0, 0);
    CPen m_Pen;
    CBrush m_Brush;
    CFont m_Font;
    CDrawObject* m_pNextLink = nullptr;
};

// Parses a LOGFONT text ("%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%u,%u,%u," then the
// face name after the last comma); text that does not parse gives a 10-point
// "ＭＳゴシック" description.
extern "C" void ConvertLOGFONT(LOGFONT* out, const char* text);
