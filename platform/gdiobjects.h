// The drawing objects that are selected into a device context (CDC): pens,
// brushes, fonts and bitmaps. An object is created from a description
// (LOGPEN, LOGBRUSH, LOGFONT) or from direct arguments and keeps that
// description; GetSafeHandle() is non-null while it exists. A DC works from
// its own copy of a selected pen, brush or font, so deleting or re-creating
// one while it is selected changes nothing until it is selected again (as
// GDI defers the deletion of a selected object); a bitmap is the DC's drawing
// surface itself, and deleting it hands the DC back its default 1x1 bitmap.
// Objects are not copyable; a DC forgets an object that is destroyed while
// selected, so no dangling pointer is left behind.
#pragma once

#include "geometry.h"
#include "wintypes.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CDC;

class CGdiObject {
public:
    enum class Kind { Pen, Brush, Font, Bitmap };

    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject();

    Kind GetKind() const { return m_kind; }
    // Identifies the object while it exists (after a successful Create...).
    HGDIOBJ GetSafeHandle() const { return m_created ? const_cast<CGdiObject*>(this) : nullptr; }
    // FALSE when there is nothing to delete. A DC's default objects are never deleted.
    BOOL DeleteObject();

protected:
    explicit CGdiObject(Kind kind) : m_kind(kind) {}
    // Starts a new object in place of any old one; FALSE for a DC's default object.
    bool BeginCreate();
    void EndCreate() { m_created = true; }
    // Tells every DC that has this object selected that it is going away.
    void Unselect();
    // Frees what the object holds when it is deleted.
    virtual void ReleaseData() {}
    const std::vector<CDC*>& Users() const { return m_users; }

private:
    friend class CDC;
    Kind m_kind;
    bool m_created = false;
    bool m_stock = false;
    std::vector<CDC*> m_users;
};

class CPen : public CGdiObject {
public:
    CPen() : CGdiObject(Kind::Pen) {}
    CPen(int style, int width, COLORREF color);

    // A width of 0 or 1 draws single-pixel lines; dashed and dotted styles
    // apply to those only, as with cosmetic GDI pens.
    BOOL CreatePen(int style, int width, COLORREF color);
    BOOL CreatePenIndirect(const LOGPEN* logPen);
    // WHITE_PEN, BLACK_PEN or NULL_PEN.
    BOOL CreateStockObject(int index);
    // Returns sizeof(LOGPEN), or 0 when the pen does not exist.
    int GetLogPen(LOGPEN* logPen) const;

private:
    friend class CDC;
    LOGPEN m_log;
};

class CBrush : public CGdiObject {
public:
    CBrush() : CGdiObject(Kind::Brush) {}
    explicit CBrush(COLORREF color);

    BOOL CreateSolidBrush(COLORREF color);
    // index is HS_HORIZONTAL ... HS_DIAGCROSS.
    BOOL CreateHatchBrush(int index, COLORREF color);
    // BS_SOLID, BS_NULL (BS_HOLLOW) and BS_HATCHED; other styles fail.
    BOOL CreateBrushIndirect(const LOGBRUSH* logBrush);
    // WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH.
    BOOL CreateStockObject(int index);
    int GetLogBrush(LOGBRUSH* logBrush) const;

private:
    friend class CDC;
    LOGBRUSH m_log;
};

// The metrics of one created font, with the advance widths of the texts
// lately measured in it and the glyphs of the texts lately drawn in it:
// scales and labels measure and draw the same texts at every paint, and
// measuring or drawing one afresh lays it out (shapes it) again. Shared by the
// font and the DCs that select it; re-creating the font makes a new one.
class CFontMetrics {
public:
    explicit CFontMetrics(const QFont& font) : m_font(font), m_metrics(font) {}
    const QFont& Font() const { return m_font; }
    const QFontMetrics& Get() const { return m_metrics; }
    // The metrics (and memories) of this font at ratio times its size: the
    // font text is drawn in on a surface of that device pixel ratio. Kept for
    // the last ratio asked for.
    CFontMetrics& Scaled(double ratio);
    // QFontMetrics::horizontalAdvance of text, remembered for short texts.
    int Advance(const QString& text);
    // A text remembered for drawing: its glyphs and what was learnt of them.
    struct Shaped {
        bool shaped = false;
        QList<QGlyphRun> runs;
        enum class Pixels { Unknown, Known, Unusable } pixelState = Pixels::Unknown;
        int drawnFromGlyphs = 0; // while the pixels are unknown
        std::vector<QPoint> pixels;
    };
    // The glyphs QPainter::drawText(origin, text) draws with a painter whose
    // font is deviceFont (this font resolved for a device of resolution dpi)
    // and whose layout direction is direction, as runs positioned from the
    // origin on the baseline; drawn with QPainter::drawGlyphRun at the origin
    // they give the same pixels when the painter has no transform. Null for a
    // text that is not remembered (too long, or holding characters of other
    // layout rules: controls, right-to-left scripts, bidirectional marks),
    // for a right-to-left painter, and the first time a text is asked for
    // (it is shaped when asked for again). The memory holds the glyphs of
    // one device font, resolution and direction; another starts it over.
    // The text's entry holds them (runs); it stays valid until the next call.
    Shaped* Glyphs(const QString& text, const QFont& deviceFont, int dpi,
                   Qt::LayoutDirection direction);
    // The pixels the remembered glyphs of a text (Glyphs gave them) set when
    // drawn without antialiasing, as offsets from the origin: learnt from a
    // drawing of the glyphs on a picture of their own, so that the text is
    // then drawn by setting them. Learning costs some twenty drawings, so a
    // text is drawn from its glyphs kDrawsBeforePixels times first (a label,
    // not a reading that changes every few frames, goes on to its pixels).
    // Null until then, and when the glyphs set anything but the pen's colour
    // (glyphs drawn with grey levels).
    static const std::vector<QPoint>* GlyphPixels(Shaped& text);
    // Drawings of a text before the one from its pixels.
    static constexpr int kDrawsBeforePixels = 8;

private:
    // Bounds of the memories: texts longer than this are measured and
    // shaped each time, and a full memory starts over.
    static constexpr qsizetype kMaxLength = 64;
    static constexpr qsizetype kMaxTexts = 256;
    QFont m_font;
    QFontMetrics m_metrics;
    std::unique_ptr<CFontMetrics> m_scaled;
    double m_scaledRatio = 0;
    QHash<QString, int> m_advances;
    QFont m_glyphFont;
    int m_glyphDpi = 0;
    Qt::LayoutDirection m_glyphDirection = Qt::LayoutDirectionAuto;
    static QList<QGlyphRun> Shape(const QString& text, const QFont& deviceFont,
                                  Qt::LayoutDirection direction);
    QHash<QString, Shaped> m_glyphs;
};

class CFont : public CGdiObject {
public:
    CFont() : CGdiObject(Kind::Font) {}

    BOOL CreateFontIndirect(const LOGFONT* logFont);
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                    BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily, const char* faceName);
    // pointSize in tenths of a point, at 96 pixels per inch.
    BOOL CreatePointFont(int pointSize, const char* faceName, CDC* pDC = nullptr);
    // SYSTEM_FONT, SYSTEM_FIXED_FONT, OEM_FIXED_FONT, ANSI_FIXED_FONT,
    // ANSI_VAR_FONT, DEFAULT_GUI_FONT.
    BOOL CreateStockObject(int index);
    // The description the font was created from; sizeof(LOGFONT), or 0.
    int GetLogFont(LOGFONT* logFont) const;
    // The matched Qt font, for widgets that show text in the same font.
    const QFont& GetQFont() const { return m_font; }

private:
    friend class CDC;
    LOGFONT m_log;
    QFont m_font;
    // Kept with the font: metrics made afresh measure far more slowly.
    std::shared_ptr<CFontMetrics> m_metrics;
};

class CBitmap : public CGdiObject {
public:
    CBitmap() : CGdiObject(Kind::Bitmap) {}
    ~CBitmap() override;

    // A colour bitmap (32-bit RGB), black, of width x height logical units
    // at pDC's compatible device pixel ratio (so with as many more pixels);
    // monochrome: a black monochrome one. A zero width or height gives a 1x1
    // monochrome bitmap, as GDI does; negative sizes fail.
    BOOL CreateCompatibleBitmap(CDC* pDC, int width, int height, bool monochrome = false);
    // 1 bit per pixel (monochrome; rows of bits padded to 16 bits, 1 = white)
    // or 32 bits per pixel (B, G, R, unused). bits may be null: black.
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
    // A colour bitmap holding a copy of the image.
    BOOL CreateFromImage(const QImage& image);
    // A colour bitmap whose pixels are pDC's own surface, not a copy of it:
    // what is drawn on the bitmap is drawn on the surface. Only for a surface
    // of 32-bit RGB colour pixels, exactly width x height logical units (at
    // its device pixel ratio), drawn without a mapping; FALSE (nothing
    // created) for any other DC. The surface must stay
    // as it is (no drawing through pDC, no new size) while the bitmap exists.
    BOOL CreateOverSurface(CDC* pDC, int width, int height);
    // Returns sizeof(BITMAP), or 0 when the bitmap does not exist.
    int GetBitmap(BITMAP* bitmap) const;
    bool IsMonochrome() const { return m_mono; }
    // The pixels, 32-bit RGB (a monochrome bitmap holds only black and white).
    // Ends the painting of the DC the bitmap is selected into, so that a copy
    // of the image taken now is not changed by later drawing.
    const QImage& GetImage() const;

    // The ink of a bitmap: where it may differ from its base colour (black
    // when created, else the colour it was last filled with as a whole). Per
    // row, one bit for each chunk of kInkChunk pixels that may hold ink (a
    // clear bit: the chunk is the base colour). A bitmap keeps these while it
    // is drawn on by one-pixel lines and solid fills only, so that clearing it
    // to its base colour, mask blits through it and blits from it cost what
    // was drawn rather than its area, even where one row is drawn in several
    // places; any other drawing forgets them.
    // A solid one-pixel line wholly on the bitmap is kept as the line itself
    // instead (its pixels are found again by walking it), up to a bound that
    // grows with the bitmap; beyond it the lines turn into chunks.
    static constexpr int kInkChunkShift = 4;
    static constexpr int kInkChunk = 1 << kInkChunkShift;
    struct InkLine {
        int x0, y0, x1, y1; // the end point (x1, y1) itself is not drawn
    };

private:
    friend class CDC;
    void ReleaseData() override;
    void FlushUser() const;
    // Every pixel the colour (a new black bitmap, or one filled as a whole).
    void SetInkBase(std::uint32_t pixel);
    void SetInkBlack() { SetInkBase(0xFF000000u); }
    // Whether ink is known and there is none: every pixel is the base colour.
    bool IsInkEmpty() const;
    // Nothing known: every row may hold anything.
    void ForgetInk() { m_inkKnown = false; }
    bool HasInk() const { return m_inkKnown; }
    // The chunk bits of row y (0 <= y < height), m_inkWords words.
    std::uint64_t* InkRow(int y) { return m_ink.data() + static_cast<size_t>(y) * m_inkWords; }
    const std::uint64_t* InkRow(int y) const {
        return m_ink.data() + static_cast<size_t>(y) * m_inkWords;
    }
    // Row y may hold ink in columns [first, last) (0 <= first < last <= width).
    void MarkInk(int y, int first, int last);
    // Row y is black in columns [first, last): the chunks wholly inside lose their bit.
    void ClearInk(int y, int first, int last);
    // Past the bound, the lines are marked as chunks and dropped.
    void BoundInkLines();
    QImage m_image;
    bool m_mono = false;
    bool m_inkKnown = false;
    int m_inkWords = 0;
    std::uint32_t m_inkBase = 0xFF000000u;
    std::vector<std::uint64_t> m_ink;
    std::vector<InkLine> m_inkLines;
};
