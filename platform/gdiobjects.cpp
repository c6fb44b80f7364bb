// Pens, brushes, fonts and bitmaps; see gdiobjects.h.
#include "gdiobjects.h"

#include "dc.h"
#include "fontmatch.h"

#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
// Device resolution assumed for point sizes: the usual screen's 96 per inch.
constexpr int kPixelsPerInch = 96;

LOGFONT MakeLogFont(LONG height, LONG weight, BYTE pitchAndFamily, const char* face) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

// Whether QTextLayout lays the text out as QPainter::drawText does: only
// printable characters of scripts written left to right and neutral ones, no
// controls, line or paragraph separators, bidirectional marks or surrogates.
bool LaidOutAlike(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u < 0x0590) || (u >= 0x2070 && u < 0x2C00)))
            return false;
    }
    return true;
}

} // namespace

// ---- CGdiObject

CGdiObject::~CGdiObject() {
    Unselect();
}

void CGdiObject::Unselect() {
    // ObjectGone removes the DC from m_users.
    while (!m_users.empty())
        m_users.back()->ObjectGone(this);
}

bool CGdiObject::BeginCreate() {
    if (m_stock)
        return false;
    if (m_created)
        DeleteObject();
    return true;
}

BOOL CGdiObject::DeleteObject() {
    if (m_stock)
        return TRUE;
    if (!m_created)
        return FALSE;
    if (m_kind == Kind::Bitmap) {
        // A DC cannot go on drawing into pixels that are released.
        Unselect();
    }
    ReleaseData();
    m_created = false;
    return TRUE;
}

// ---- CPen

CPen::CPen(int style, int width, COLORREF color) : CGdiObject(Kind::Pen) {
    CreatePen(style, width, color);
}

BOOL CPen::CreatePen(int style, int width, COLORREF color) {
    LOGPEN lp;
    lp.lopnStyle = static_cast<UINT>(style);
    lp.lopnWidth = {width, 0};
    lp.lopnColor = color;
    return CreatePenIndirect(&lp);
}

BOOL CPen::CreatePenIndirect(const LOGPEN* logPen) {
    if (!logPen || !BeginCreate())
        return FALSE;
    m_log = *logPen;
    EndCreate();
    return TRUE;
}

BOOL CPen::CreateStockObject(int index) {
    switch (index) {
    case WHITE_PEN:
        return CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    case BLACK_PEN:
        return CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    case NULL_PEN:
        return CreatePen(PS_NULL, 1, RGB(0, 0, 0));
    default:
        return FALSE;
    }
}

int CPen::GetLogPen(LOGPEN* logPen) const {
    if (!GetSafeHandle() || !logPen)
        return 0;
    *logPen = m_log;
    return static_cast<int>(sizeof(LOGPEN));
}

// ---- CBrush

CBrush::CBrush(COLORREF color) : CGdiObject(Kind::Brush) {
    CreateSolidBrush(color);
}

BOOL CBrush::CreateSolidBrush(COLORREF color) {
    LOGBRUSH lb;
    lb.lbStyle = BS_SOLID;
    lb.lbColor = color;
    return CreateBrushIndirect(&lb);
}

BOOL CBrush::CreateHatchBrush(int index, COLORREF color) {
    LOGBRUSH lb;
    lb.lbStyle = BS_HATCHED;
    lb.lbColor = color;
    lb.lbHatch = static_cast<std::uintptr_t>(index);
    return CreateBrushIndirect(&lb);
}

BOOL CBrush::CreateBrushIndirect(const LOGBRUSH* logBrush) {
    if (!logBrush)
        return FALSE;
    const bool valid = logBrush->lbStyle == BS_SOLID || logBrush->lbStyle == BS_NULL ||
                       (logBrush->lbStyle == BS_HATCHED && logBrush->lbHatch <= HS_DIAGCROSS);
    if (!valid || !BeginCreate())
        return FALSE;
    m_log = *logBrush;
    EndCreate();
    return TRUE;
}

BOOL CBrush::CreateStockObject(int index) {
    switch (index) {
    case WHITE_BRUSH:
        return CreateSolidBrush(RGB(255, 255, 255));
    case LTGRAY_BRUSH:
        return CreateSolidBrush(RGB(192, 192, 192));
    case GRAY_BRUSH:
        return CreateSolidBrush(RGB(128, 128, 128));
    case DKGRAY_BRUSH:
        return CreateSolidBrush(RGB(64, 64, 64));
    case BLACK_BRUSH:
        return CreateSolidBrush(RGB(0, 0, 0));
    case NULL_BRUSH: {
        LOGBRUSH lb;
        lb.lbStyle = BS_NULL;
        return CreateBrushIndirect(&lb);
    }
    default:
        return FALSE;
    }
}

int CBrush::GetLogBrush(LOGBRUSH* logBrush) const {
    if (!GetSafeHandle() || !logBrush)
        return 0;
    *logBrush = m_log;
    return static_cast<int>(sizeof(LOGBRUSH));
}

// ---- CFont

int CFontMetrics::Advance(const QString& text) {
    if (text.size() > kMaxLength)
        return m_metrics.horizontalAdvance(text);
    if (const auto known = m_advances.constFind(text); known != m_advances.cend())
        return *known;
    if (m_advances.size() >= kMaxTexts)
        m_advances.clear();
    const int advance = m_metrics.horizontalAdvance(text);
    m_advances.insert(text, advance);
    return advance;
}

CFontMetrics& CFontMetrics::Scaled(double ratio) {
    if (!m_scaled || m_scaledRatio != ratio) {
        QFont font = m_font;
        if (m_font.pixelSize() > 0)
            font.setPixelSize(std::max(1, qRound(m_font.pixelSize() * ratio)));
        else
            font.setPointSizeF(m_font.pointSizeF() * ratio);
        m_scaled = std::make_unique<CFontMetrics>(font);
        m_scaledRatio = ratio;
    }
    return *m_scaled;
}

CFontMetrics::Shaped* CFontMetrics::Glyphs(const QString& text, const QFont& deviceFont, int dpi,
                                           Qt::LayoutDirection direction) {
    if (text.size() > kMaxLength || direction == Qt::RightToLeft || !LaidOutAlike(text))
        return nullptr;
    if (dpi != m_glyphDpi || direction != m_glyphDirection || deviceFont != m_glyphFont) {
        m_glyphs.clear();
        m_glyphFont = deviceFont;
        m_glyphDpi = dpi;
        m_glyphDirection = direction;
    }
    auto known = m_glyphs.find(text);
    if (known == m_glyphs.end()) {
        // A text is shaped for the memory when it is drawn again: one drawn
        // only once (a reading that changes at every paint) costs no more
        // than drawText.
        if (m_glyphs.size() >= kMaxTexts)
            m_glyphs.clear();
        m_glyphs.insert(text, Shaped());
        return nullptr;
    }
    if (!known->shaped) {
        known->runs = Shape(text, deviceFont, direction);
        known->shaped = true;
    }
    return &*known;
}

namespace {

// The pixels runs drawn at the origin set without antialiasing, in pen
// colours on grounds that differ from them (the offsets from the origin), or
// nothing when a pixel took any other colour or the drawing reached the edge
// of its picture.
std::optional<std::vector<QPoint>> DrawnPixels(const QList<QGlyphRun>& runs) {
    // The line's cell and the ink of every glyph: a mark drawn well above
    // the cell (an accent on a capital) is inside the picture as well, so
    // that no part of a glyph can fall off it without touching its edge.
    QRectF bounds;
    for (const QGlyphRun& run : runs) {
        bounds |= run.boundingRect();
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
            bounds |= font.boundingRect(glyphs[i]).translated(positions[i]);
    }
    // Glyphs may reach a little beyond their bounding boxes; the margin is
    // checked to stay blank.
    const int margin = 4 + static_cast<int>(bounds.height()) / 2;
    const QRect box = bounds.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    if (box.width() > 4096 || box.height() > 1024)
        return std::nullopt;
    const QPoint origin = -box.topLeft();
    struct Drawing {
        QRgb ground, pen;
    };
    // Ground and pen differ in every channel: a glyph whose pixels are
    // blended channel by channel shows in either drawing.
    const Drawing drawings[] = {{0xFF000000u, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0xFF000000u}};
    std::vector<QPoint> pixels[2];
    for (int d = 0; d < 2; ++d) {
        QImage picture(box.size(), QImage::Format_RGB32);
        picture.fill(drawings[d].ground);
        {
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setPen(QColor::fromRgb(drawings[d].pen));
            for (const QGlyphRun& run : runs)
                painter.drawGlyphRun(origin, run);
        }
        for (int y = 0; y < picture.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            for (int x = 0; x < picture.width(); ++x) {
                if (row[x] == drawings[d].ground)
                    continue;
                const bool edge =
                    x == 0 || y == 0 || x == picture.width() - 1 || y == picture.height() - 1;
                if (row[x] != drawings[d].pen || edge)
                    return std::nullopt;
                pixels[d].push_back(QPoint(x, y) - origin);
            }
        }
    }
    if (pixels[0] != pixels[1])
        return std::nullopt;
    return std::move(pixels[0]);
}

} // namespace

const std::vector<QPoint>* CFontMetrics::GlyphPixels(Shaped& text) {
    if (!text.shaped)
        return nullptr;
    if (text.pixelState == Shaped::Pixels::Unknown) {
        // The first drawing was not from the glyphs.
        if (++text.drawnFromGlyphs < kDrawsBeforePixels)
            return nullptr;
        std::optional<std::vector<QPoint>> pixels = DrawnPixels(text.runs);
        text.pixelState = pixels ? Shaped::Pixels::Known : Shaped::Pixels::Unusable;
        if (pixels)
            text.pixels = std::move(*pixels);
    }
    return text.pixelState == Shaped::Pixels::Known ? &text.pixels : nullptr;
}

QList<QGlyphRun> CFontMetrics::Shape(const QString& text, const QFont& deviceFont,
                                     Qt::LayoutDirection direction) {
    // One line, shaped as drawText shapes it: the device font, the painter's
    // direction, no wrapping.
    QTextLayout layout(text, deviceFont);
    QTextOption option;
    option.setTextDirection(direction);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    QList<QGlyphRun> runs;
    if (line.isValid()) {
        // Wide enough for any text of the bounded length.
        line.setLineWidth(1 << 20);
        line.setPosition(QPointF(0, 0));
        const qreal baseline = line.y() + line.ascent();
        runs = line.glyphRuns();
        for (QGlyphRun& run : runs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& position : positions)
                position.ry() -= baseline;
            run.setPositions(positions);
            // The run's cell moves with its glyphs.
            run.setBoundingRect(run.boundingRect().translated(0, -baseline));
        }
    }
    layout.endLayout();
    return runs;
}

BOOL CFont::CreateFontIndirect(const LOGFONT* logFont) {
    if (!logFont || !BeginCreate())
        return FALSE;
    m_log = *logFont;
    // A description read from a file may lack its terminator.
    m_log.lfFaceName[LF_FACESIZE - 1] = '\0';
    m_font = FontFromLogFont(m_log);
    m_metrics = std::make_shared<CFontMetrics>(m_font);
    EndCreate();
    return TRUE;
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                       BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily,
                       const char* faceName) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strikeOut;
    lf.lfCharSet = charSet;
    lf.lfOutPrecision = outPrecision;
    lf.lfClipPrecision = clipPrecision;
    lf.lfQuality = quality;
    lf.lfPitchAndFamily = pitchAndFamily;
    if (faceName)
        std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

BOOL CFont::CreatePointFont(int pointSize, const char* faceName, CDC* pDC) {
    (void)pDC;
    LOGFONT lf;
    lf.lfHeight = -(pointSize * kPixelsPerInch / 720);
    lf.lfCharSet = DEFAULT_CHARSET;
    if (faceName)
        std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

BOOL CFont::CreateStockObject(int index) {
    LOGFONT lf;
    switch (index) {
    case SYSTEM_FONT:
        lf = MakeLogFont(16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, "System");
        break;
    case SYSTEM_FIXED_FONT:
        lf = MakeLogFont(16, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Fixedsys");
        break;
    case OEM_FIXED_FONT:
        lf = MakeLogFont(12, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Terminal");
        break;
    case ANSI_FIXED_FONT:
        lf = MakeLogFont(12, FW_NORMAL, FIXED_PITCH | FF_MODERN, "Courier");
        break;
    case ANSI_VAR_FONT:
        lf = MakeLogFont(12, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
        break;
    case DEFAULT_GUI_FONT:
        lf = MakeLogFont(-11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, "MS Shell Dlg");
        break;
    default:
        return FALSE;
    }
    return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONT* logFont) const {
    if (!GetSafeHandle() || !logFont)
        return 0;
    *logFont = m_log;
    return static_cast<int>(sizeof(LOGFONT));
}

// ---- CBitmap

CBitmap::~CBitmap() {
    // Before m_image goes: the DC may still be painting into it.
    Unselect();
}

void CBitmap::ReleaseData() {
    m_image = QImage();
    m_mono = false;
    ForgetInk();
}

bool CBitmap::IsInkEmpty() const {
    return m_inkKnown && m_inkLines.empty() &&
           std::all_of(m_ink.begin(), m_ink.end(), [](std::uint64_t w) { return w == 0; });
}

void CBitmap::SetInkBase(std::uint32_t pixel) {
    m_inkBase = pixel;
    const int chunks = (m_image.width() + kInkChunk - 1) >> kInkChunkShift;
    m_inkWords = (chunks + 63) / 64;
    m_ink.assign(static_cast<size_t>(m_image.height()) * static_cast<size_t>(m_inkWords), 0);
    m_inkLines.clear();
    m_inkKnown = true;
}

void CBitmap::BoundInkLines() {
    // Eight lines per row and column: many polylines across the bitmap.
    const size_t bound = 8 * (static_cast<size_t>(m_image.width()) + m_image.height());
    if (m_inkLines.size() <= bound)
        return;
    // Each line lies within the box of its end points.
    for (const InkLine& line : m_inkLines) {
        const int first = std::min(line.x0, line.x1);
        const int last = std::max(line.x0, line.x1) + 1;
        for (int y = std::min(line.y0, line.y1); y <= std::max(line.y0, line.y1); ++y)
            MarkInk(y, first, last);
    }
    m_inkLines.clear();
}

void CBitmap::MarkInk(int y, int first, int last) {
    std::uint64_t* row = InkRow(y);
    const int c0 = first >> kInkChunkShift;
    const int c1 = (last - 1) >> kInkChunkShift;
    for (int w = c0 >> 6, c = c0; c <= c1; ++w) {
        const int from = c & 63;
        const int to = std::min(c1 + 1 - (w << 6), 64);
        const std::uint64_t high = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
        row[w] |= high & (~std::uint64_t{0} << from);
        c = (w + 1) << 6;
    }
}

void CBitmap::ClearInk(int y, int first, int last) {
    std::uint64_t* row = InkRow(y);
    // A chunk is wholly inside when it starts at or after first and ends (at
    // the next chunk or at the bitmap's right edge) at or before last.
    int c0 = (first + kInkChunk - 1) >> kInkChunkShift;
    const int c1 =
        last == m_image.width() ? (last + kInkChunk - 1) >> kInkChunkShift : last >> kInkChunkShift;
    // Word by word: bits [c0, c1) of the row.
    for (int w = c0 >> 6; c0 < c1; ++w) {
        const int from = c0 & 63;
        const int to = std::min(c1 - (w << 6), 64);
        const std::uint64_t high = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
        row[w] &= ~(high & (~std::uint64_t{0} << from));
        c0 = (w + 1) << 6;
    }
}

void CBitmap::FlushUser() const {
    for (CDC* dc : Users())
        dc->Flush();
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int width, int height, bool monochrome) {
    if (width < 0 || height < 0)
        return FALSE;
    if (width == 0 || height == 0)
        return CreateBitmap(1, 1, 1, 1, nullptr);
    // As many device pixels as the DC draws a logical unit with.
    const double ratio = pDC ? pDC->CompatibleRatio() : 1.0;
    int deviceWidth = width, deviceHeight = height;
    if (ratio != 1.0) {
        constexpr double kLimit = 1 << 16;
        deviceWidth = static_cast<int>(std::clamp(std::floor(width * ratio + 0.5), 1.0, kLimit));
        deviceHeight = static_cast<int>(std::clamp(std::floor(height * ratio + 0.5), 1.0, kLimit));
    }
    QImage image(deviceWidth, deviceHeight, QImage::Format_RGB32);
    if (image.isNull() || !BeginCreate())
        return FALSE;
    image.fill(kBlack);
    image.setDevicePixelRatio(ratio);
    m_image = std::move(image);
    m_mono = monochrome;
    EndCreate();
    SetInkBlack();
    return TRUE;
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                           const void* bits) {
    if (width <= 0 || height <= 0 || planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 32))
        return FALSE;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull() || !BeginCreate())
        return FALSE;
    image.fill(kBlack);
    if (bits) {
        const auto* src = static_cast<const unsigned char*>(bits);
        if (bitsPerPixel == 1) {
            const int stride = (width + 15) / 16 * 2;
            for (int y = 0; y < height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
                const unsigned char* line = src + static_cast<size_t>(y) * stride;
                for (int x = 0; x < width; ++x)
                    row[x] = (line[x >> 3] & (0x80 >> (x & 7))) ? kWhite : kBlack;
            }
        } else {
            for (int y = 0; y < height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
                const unsigned char* line = src + static_cast<size_t>(y) * width * 4;
                for (int x = 0; x < width; ++x) {
                    const unsigned char* p = line + x * 4;
                    row[x] =
                        kBlack | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
                }
            }
        }
    }
    m_image = std::move(image);
    m_mono = bitsPerPixel == 1;
    EndCreate();
    if (bits)
        ForgetInk();
    else
        SetInkBlack();
    return TRUE;
}

BOOL CBitmap::CreateFromImage(const QImage& image) {
    if (image.isNull())
        return FALSE;
    QImage converted = image.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull() || !BeginCreate())
        return FALSE;
    m_image = std::move(converted);
    m_mono = false;
    EndCreate();
    ForgetInk();
    return TRUE;
}

BOOL CBitmap::CreateOverSurface(CDC* pDC, int width, int height) {
    if (!pDC || !pDC->m_image || pDC->IsMonochrome() || !pDC->IsIdentityMapping() ||
        pDC->m_image->format() != QImage::Format_RGB32 ||
        pDC->m_image->width() != pDC->DeviceCoord(width) ||
        pDC->m_image->height() != pDC->DeviceCoord(height) || !BeginCreate())
        return FALSE;
    // The DC writes what it still holds back and ends its own painter, so that
    // the two never work on the pixels at once; its bitmap, drawn on from
    // here, no longer knows where its ink is.
    pDC->Flush();
    if (pDC->m_bitmap)
        pDC->m_bitmap->ForgetInk();
    m_image = QImage(reinterpret_cast<uchar*>(pDC->SurfaceBits()), pDC->m_image->width(),
                     pDC->m_image->height(), pDC->m_image->bytesPerLine(), QImage::Format_RGB32);
    m_image.setDevicePixelRatio(pDC->m_ratio);
    m_mono = false;
    EndCreate();
    ForgetInk();
    return TRUE;
}

int CBitmap::GetBitmap(BITMAP* bitmap) const {
    if (!GetSafeHandle() || !bitmap)
        return 0;
    bitmap->bmType = 0;
    bitmap->bmWidth = m_image.width();
    bitmap->bmHeight = m_image.height();
    bitmap->bmPlanes = 1;
    bitmap->bmBitsPixel = m_mono ? 1 : 32;
    bitmap->bmWidthBytes = m_mono ? (m_image.width() + 15) / 16 * 2 : m_image.width() * 4;
    bitmap->bmBits = nullptr;
    return static_cast<int>(sizeof(BITMAP));
}

const QImage& CBitmap::GetImage() const {
    FlushUser();
    return m_image;
}
