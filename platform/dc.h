// CDC: a GDI-like device context over Qt. It draws into
//  - a memory bitmap: CreateCompatibleDC, then SelectObject(CBitmap*);
//  - a QImage: the constructor or AttachImage (views paint into an image);
//  - any QPaintDevice through a QPainter: the constructor or AttachPainter
//    (widgets, printers).
// Drawing follows GDI: LineTo and Polyline leave out their last pixel,
// Rectangle(l, t, r, b) covers l .. r-1 and t .. b-1, text is placed by
// SetTextAlign and its cell is filled with the background colour in OPAQUE
// mode, FillSolidRect sets the background colour. Nothing is antialiased, so
// pixels land exactly where the drawing code computes them. On a 32-bit RGB
// image without a scaling map mode, lines, fills and blits write the pixels
// directly; text, polygons and ellipses go through one QPainter that stays
// active while the DC is attached.
// An image may hold more pixels than logical units (its device pixel ratio,
// a high-resolution screen). Drawing stays in logical units and lands on the
// device pixels: coordinate v is device pixel DeviceCoord(v), a fill covers
// the device rectangle of its corners, a pen up to one unit wide draws lines
// one device pixel wide (its dashes keep their logical lengths), wider pens
// and shapes scale, and text is drawn in its font at the device size while
// every measure of it stays logical. A DC over a painter leaves the scaling
// to the painter.
#pragma once

#include "cstring.h"
#include "gdiobjects.h"
#include "geometry.h"
#include "wintypes.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <QTransform>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QImage;
class QPainter;
struct DcRaster;
struct PixelConversion;

// The classic 3D colours of buttons and frames (COLOR_BTNFACE, ...); 0 for
// an index that is not one of the COLOR_ constants.
COLORREF GetSysColor(int index);

class CDC {
public:
    CDC();
    // Draws into the image until Detach or destruction. The image must stay
    // alive as long, and must not be copied while drawing goes on (call
    // Flush first).
    explicit CDC(QImage* image);
    // Draws through the painter, which must be active and outlive the DC. Its
    // state is saved here and restored at Detach.
    explicit CDC(QPainter* painter);
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC();

    // ---- Attachment
    // A memory DC with a default 1x1 monochrome bitmap selected; select a
    // bitmap to draw into it. pDC may be null.
    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();
    BOOL AttachImage(QImage* image);
    BOOL AttachPainter(QPainter* painter);
    void Detach();
    bool IsAttached() const { return m_target != Target::None; }
    BOOL IsPrinting() const { return m_printing; }
    void SetPrinting(BOOL printing) { m_printing = printing != 0; }
    // The image this DC draws into (memory DC: the selected bitmap's), or null
    // for a DC over a painter. Flush before reading it from outside.
    // Whoever writes through it is not followed: the bitmap forgets its ink.
    QImage* GetImage() const {
        ReleaseHeldFill();
        if (m_bitmap)
            m_bitmap->ForgetInk();
        return m_image;
    }
    // Ends this DC's own painter; drawing later begins it again.
    void Flush();

    // ---- Objects. SelectObject returns the object selected before, or null
    // when the object does not exist (nothing changes then). A bitmap can be
    // selected into one memory DC at a time.
    CPen* SelectObject(CPen* pen);
    CBrush* SelectObject(CBrush* brush);
    CFont* SelectObject(CFont* font);
    CBitmap* SelectObject(CBitmap* bitmap);
    CGdiObject* SelectObject(CGdiObject* object);
    // Selects one of this DC's own stock objects (BLACK_PEN, NULL_BRUSH, ...).
    CGdiObject* SelectStockObject(int index);
    CPen* GetCurrentPen() const { return m_pen; }
    // The pen lines are drawn with: the selected pen as it was when selected.
    const LOGPEN& GetDrawingPen() const { return m_logPen; }
    CBrush* GetCurrentBrush() const { return m_brush; }
    CFont* GetCurrentFont() const { return m_font; }
    CBitmap* GetCurrentBitmap() const { return m_bitmap; }

    // ---- State. Each setter returns the previous value.
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_bkColor; }
    int SetBkMode(int mode);
    int GetBkMode() const { return m_bkMode; }
    UINT SetTextAlign(UINT flags);
    UINT GetTextAlign() const { return m_textAlign; }

    // ---- Mapping from logical to device coordinates:
    // device = (logical - window origin) * viewport extent / window extent + viewport origin.
    // The extents apply in MM_ISOTROPIC and MM_ANISOTROPIC only.
    int SetMapMode(int mode);
    int GetMapMode() const { return m_mapMode; }
    // Whether logical coordinates are device pixels (no scale, no offset).
    bool IsIdentityMapping() const;
    // The width lines are drawn with, in logical units (at least 1); a pen
    // wider than 1 strokes through a painter.
    int PenWidth() const;
    CPoint SetWindowOrg(int x, int y);
    CSize SetWindowExt(int cx, int cy);
    CPoint SetViewportOrg(int x, int y);
    CSize SetViewportExt(int cx, int cy);
    int GetDeviceCaps(int index) const;

    // ---- Texts drawn. While a log is set, each line of text drawn through
    // this DC, or through a memory DC made compatible with it since, is
    // appended to it (read-outs for screen readers). The log must outlive
    // the DCs that write to it.
    void SetTextLog(std::vector<QString>* log) { m_textLog = log; }
    std::vector<QString>* GetTextLog() const { return m_textLog; }

    // ---- Device pixels
    // Device pixels per logical unit of the surface (1 over a painter).
    double GetDevicePixelRatio() const { return m_ratio; }
    // The ratio of the bitmaps made compatible with this DC: its surface's;
    // for a memory DC without a bitmap of its own, that of the DC it was made
    // compatible with; for a painter, its device's.
    double CompatibleRatio() const;
    // The device position of logical coordinate v: v * ratio, rounded half up.
    long long DeviceCoord(long long v) const {
        return m_intRatio ? v * m_intRatio : ScaledCoord(v);
    }

    // ---- Lines with the selected pen
    CPoint MoveTo(int x, int y);
    CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
    BOOL LineTo(int x, int y);
    BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
    CPoint GetCurrentPosition() const { return m_position; }
    // Joins the points; the last point itself is not drawn. Needs two points.
    BOOL Polyline(const POINT* points, int count);

    // ---- Shapes: outlined with the pen, filled with the brush
    BOOL Rectangle(int left, int top, int right, int bottom);
    BOOL Rectangle(const RECT* rect);
    BOOL Ellipse(int left, int top, int right, int bottom);
    BOOL Ellipse(const RECT* rect);
    // Closed polygon, filled alternately (odd-even rule).
    BOOL Polygon(const POINT* points, int count);
    void FillRect(const RECT* rect, CBrush* brush);
    // Fills with the colour and leaves it as the background colour.
    void FillSolidRect(const RECT* rect, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    // A one-pixel border inside the rectangle, in the brush.
    void FrameRect(const RECT* rect, CBrush* brush);
    void InvertRect(const RECT* rect);
    // Returns the colour set, or CLR_INVALID outside the surface.
    COLORREF SetPixel(int x, int y, COLORREF color);
    COLORREF SetPixel(POINT point, COLORREF color) { return SetPixel(point.x, point.y, color); }
    // CLR_INVALID outside the surface or on a DC over a painter.
    COLORREF GetPixel(int x, int y) const;
    COLORREF GetPixel(POINT point) const { return GetPixel(point.x, point.y); }
    // 3D border in the system colours; BF_ADJUST shrinks rect to the inside.
    BOOL DrawEdge(RECT* rect, UINT edge, UINT flags);
    // Dotted frame that inverts the pixels it covers: drawing it twice restores them.
    void DrawFocusRect(const RECT* rect);

    // ---- Text in the selected font (byte strings are UTF-8)
    BOOL TextOut(int x, int y, const char* text, int length);
    BOOL TextOut(int x, int y, const CString& text);
    // DT_LEFT/CENTER/RIGHT, DT_VCENTER/BOTTOM (single line), DT_SINGLELINE,
    // DT_WORDBREAK, DT_CALCRECT, DT_NOCLIP, DT_NOPREFIX; '&' underlines the
    // next character. Returns the height of the text. length -1: up to the terminator.
    int DrawText(const char* text, int length, RECT* rect, UINT format);
    int DrawText(const CString& text, RECT* rect, UINT format);
    CSize GetTextExtent(const char* text, int length) const;
    CSize GetTextExtent(const CString& text) const;
    BOOL GetTextExtentPoint32(const char* text, int length, SIZE* size) const;
    BOOL GetTextMetrics(TEXTMETRIC* metrics) const;
    // Text drawn in a box at point (its size 0: the text's size), transparently,
    // ignoring the text alignment. DSS_DISABLED embosses it: highlight colour
    // one pixel down and right, shadow colour on top. The brush is not used.
    BOOL DrawState(CPoint point, CSize size, const char* text, UINT flags, BOOL prefixText = TRUE,
                   int length = 0, CBrush* brush = nullptr);
    BOOL DrawState(CPoint point, CSize size, const CString& text, UINT flags,
                   BOOL prefixText = TRUE, int length = 0, CBrush* brush = nullptr);

    // ---- Blits. Only SRCCOPY is supported (FALSE for other operations).
    // Monochrome sources become the destination's text colour (black) and
    // background colour (white); colour sources copied into a monochrome
    // bitmap become white where they match the source DC's background colour.
    BOOL BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop);
    // Nearest-neighbour scaling; negative extents mirror.
    BOOL StretchBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int srcWidth,
                    int srcHeight, DWORD rop);
    // Where the mask pixel is set (not black) the foreground operation (low
    // bytes), elsewhere the background operation (top byte); each is SRCCOPY or
    // DSTCOPY. MAKEROP4(SRCCOPY, DSTCOPY) = 0xAACC0020 copies the source where
    // the mask is set and leaves the destination elsewhere.
    BOOL MaskBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, CBitmap& mask,
                 int xMask, int yMask, DWORD rop);
    // Reads a bitmap as a device-independent bitmap: 24 or 32 bits per pixel,
    // B, G, R order, rows padded to 4 bytes, bottom-up when biHeight > 0 (scan
    // line 0 is the bitmap's bottom row). With bits null, fills in the header
    // instead. Returns the number of scan lines copied (0 on failure).
    int GetDIBits(CBitmap* bitmap, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info,
                  UINT usage) const;

private:
    friend class CGdiObject;
    friend class CBitmap;
    enum class Target { None, Memory, Image, Painter };

    void Reset();
    void InitDefaults();
    CGdiObject* Stock(int index);
    void Release(CGdiObject* object);
    void Acquire(CGdiObject* object);
    void ObjectGone(CGdiObject* object);
    void UseBitmapImage();
    // Takes the ratio of the surface drawn on now.
    void UpdateRatio();
    long long ScaledCoord(long long v) const;
    // The device rectangle of a logical one, held within a range whose
    // differences fit an int.
    QRect DeviceRect(int left, int top, int right, int bottom) const;
    QTransform MappingTransform() const;
    void ApplyMapping();
    // The painter to draw with (begun on demand), or null without a surface;
    // it draws in logical coordinates. A caller that draws only inside area
    // (device pixels) says so.
    QPainter* Painter(const QRect* area = nullptr);
    // Direct access to the device pixels of a 32-bit RGB surface without a
    // mapping (logical coordinates reach them through DeviceCoord). A caller
    // that keeps the selected bitmap's ink spans up to date itself says so;
    // for any other the bitmap forgets them. A caller that draws only inside
    // area (device pixels) says so, and whether it writes every pixel of it.
    bool DirectRaster(DcRaster& raster, bool keepsInk = false, const QRect* area = nullptr,
                      bool overwrites = false);
    // The surface's pixels for writing (the image's own buffer).
    std::uint32_t* SurfaceBits() const;
    // The selected bitmap when it follows its ink, else null.
    CBitmap* KnownInk();
    bool IsMonochrome() const;
    std::uint32_t PixelValue(COLORREF color) const;
    QColor PaintColor(COLORREF color) const;

    // A fill of a memory DC's whole bitmap is held back instead of written,
    // so that each pixel is written once: a later fill of the same colour
    // costs nothing, one of another colour over a part (a graph inside its
    // window) and a line of text take their rectangle out of the held fill,
    // and the rest of it is written when anything else reads or draws on the
    // surface. HoldFill (device pixels) is true when the fill needs nothing
    // more; overwrites says that the fill will write every pixel of its
    // rectangle.
    bool HoldFill(int left, int top, int right, int bottom, COLORREF color, bool& overwrites);
    // Without an area: writes what is left of the held fill and ends it.
    // With one: the area leaves the held fill, written with the held colour
    // first unless the caller overwrites all of it.
    void ReleaseHeldFill(const QRect* area = nullptr, bool overwritten = false) const;
    // Adds a part of the surface to those taken out of the held fill.
    void TakeFromHeld(const QRect& part) const;

    // Drawing helpers in logical coordinates.
    void FillColor(int left, int top, int right, int bottom, COLORREF color);
    // The fill of a device rectangle written straight on the surface; false
    // when the surface cannot be written that way.
    bool FillDevice(int left, int top, int right, int bottom, COLORREF color);
    void FillWithBrush(int left, int top, int right, int bottom, const LOGBRUSH& brush);
    void FillPolygonWithBrush(const POINT* points, int count, const LOGBRUSH& brush);
    void InvertPixels(int left, int top, int right, int bottom, bool dotted);
    void StrokeSegments(const POINT* points, int count, bool closed);
    void StrokeWithPainter(const POINT* points, int count, bool closed);

    // One line of text with its cell's top-left corner at (left, top), cut to
    // clip when given (dctext.cpp).
    void DrawTextLine(int left, int top, const QString& text, int width, int underlineIndex,
                      COLORREF color, bool opaque, const RECT* clip);
    // The remembered glyphs of text in the font whose metrics are given when
    // drawing them with painter gives exactly what drawText gives, else null.
    CFontMetrics::Shaped* RememberedGlyphs(CFontMetrics& metrics, const QPainter& painter,
                                           const QString& text);
    // Draws the remembered glyphs of a text at origin by setting the pixels they
    // set, cut to clip when given, in the area the painter was taken for;
    // false when that cannot stand for drawing them with the painter.
    bool DrawGlyphPixels(const QPainter& painter, CFontMetrics::Shaped& text, const QPoint& origin,
                         COLORREF color, const RECT* clip, const QRect& area);

    // How pixels of src become pixels of this DC's surface (dcblit.cpp).
    PixelConversion ConversionFrom(const CDC& src) const;
    // MaskBlt from a source or through a mask of another device pixel ratio
    // than this DC's: each device pixel of the block takes the source and
    // mask pixels under its centre. Only onto a surface written pixel by
    // pixel (FALSE for any other).
    BOOL StampAcrossRatios(int x, int y, int width, int height, const CDC& src, const QImage& from,
                           int xSrc, int ySrc, const QImage& mask, int xMask, int yMask, BYTE fore,
                           BYTE back);

    Target m_target = Target::None;
    QImage* m_image = nullptr;
    QPainter* m_painter = nullptr;
    std::unique_ptr<QPainter> m_ownPainter;
    mutable bool m_fillHeld = false;
    std::uint32_t m_heldPixel = 0;
    // The parts of the surface taken out of the held fill (device pixels);
    // after this many the fill is written.
    static constexpr size_t kMaxHeldTaken = 8;
    mutable std::vector<QRect> m_heldTaken;
    QTransform m_baseTransform;
    bool m_printing = false;
    // Device pixels per logical unit of the surface, and the same as a whole
    // number (0 when it is not one).
    double m_ratio = 1.0;
    int m_intRatio = 1;
    // The ratio of the DC a memory DC was made compatible with.
    double m_compatRatio = 1.0;
    std::vector<QString>* m_textLog = nullptr;

    CPen* m_pen = nullptr;
    CBrush* m_brush = nullptr;
    CFont* m_font = nullptr;
    CBitmap* m_bitmap = nullptr;
    // The DC's working copies of the selected pen, brush and font.
    LOGPEN m_logPen;
    LOGBRUSH m_logBrush;
    QFont m_qfont;
    std::shared_ptr<CFontMetrics> m_metrics;
    std::array<std::unique_ptr<CGdiObject>, DEFAULT_GUI_FONT + 1> m_stock;
    std::unique_ptr<CBitmap> m_stockBitmap;

    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_bkColor = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    UINT m_textAlign = TA_LEFT | TA_TOP;
    CPoint m_position;
    // Position in the dash pattern of a styled pen; carried across the
    // segments of one Polyline and across LineTo calls until MoveTo.
    int m_styleStep = 0;

    int m_mapMode = MM_TEXT;
    CPoint m_windowOrg;
    CSize m_windowExt{1, 1};
    CPoint m_viewportOrg;
    CSize m_viewportExt{1, 1};
};
