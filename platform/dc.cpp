// CDC: attachment, selection, state, mapping and device pixels. Lines are in
// dclines.cpp, fills, shapes and edges in dcshapes.cpp, text in dctext.cpp,
// blits in dcblit.cpp.
#include "dc.h"

#include "dcraster.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QVarLengthArray>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

// ---- Construction and attachment

CDC::CDC() {
    InitDefaults();
}

CDC::CDC(QImage* image) {
    InitDefaults();
    AttachImage(image);
}

CDC::CDC(QPainter* painter) {
    InitDefaults();
    AttachPainter(painter);
}

CDC::~CDC() {
    Reset();
    // The stock objects go with the DC; none is selected any more.
}

void CDC::InitDefaults() {
    m_pen = static_cast<CPen*>(Stock(BLACK_PEN));
    m_brush = static_cast<CBrush*>(Stock(WHITE_BRUSH));
    m_font = static_cast<CFont*>(Stock(SYSTEM_FONT));
    Acquire(m_pen);
    Acquire(m_brush);
    Acquire(m_font);
    m_logPen = m_pen->m_log;
    m_logBrush = m_brush->m_log;
    m_qfont = m_font->m_font;
    m_metrics = m_font->m_metrics;
    m_textColor = RGB(0, 0, 0);
    m_bkColor = RGB(255, 255, 255);
    m_bkMode = OPAQUE;
    m_textAlign = TA_LEFT | TA_TOP;
    m_position = CPoint();
    m_styleStep = 0;
    m_mapMode = MM_TEXT;
    m_windowOrg = m_viewportOrg = CPoint();
    m_windowExt = m_viewportExt = CSize(1, 1);
}

void CDC::Reset() {
    ReleaseHeldFill();
    if (m_ownPainter && m_ownPainter->isActive())
        m_ownPainter->end();
    if (m_target == Target::Painter && m_painter && m_painter->isActive())
        m_painter->restore();
    m_painter = nullptr;
    m_image = nullptr;
    m_target = Target::None;
    UpdateRatio();
    m_compatRatio = 1.0;
    m_textLog = nullptr;
    for (CGdiObject* object :
         {static_cast<CGdiObject*>(m_pen), static_cast<CGdiObject*>(m_brush),
          static_cast<CGdiObject*>(m_font), static_cast<CGdiObject*>(m_bitmap)}) {
        if (object)
            Release(object);
    }
    m_pen = nullptr;
    m_brush = nullptr;
    m_font = nullptr;
    m_bitmap = nullptr;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC) {
    // Before the DC is detached: pDC may be this DC.
    const double ratio = pDC ? pDC->CompatibleRatio() : 1.0;
    std::vector<QString>* log = pDC ? pDC->m_textLog : nullptr;
    DeleteDC();
    m_compatRatio = ratio;
    m_textLog = log;
    if (!m_stockBitmap) {
        m_stockBitmap = std::make_unique<CBitmap>();
        m_stockBitmap->CreateBitmap(1, 1, 1, 1, nullptr);
        m_stockBitmap->m_stock = true;
    }
    m_target = Target::Memory;
    m_bitmap = m_stockBitmap.get();
    Acquire(m_bitmap);
    UseBitmapImage();
    return TRUE;
}

BOOL CDC::DeleteDC() {
    if (m_target == Target::None)
        return FALSE;
    Detach();
    return TRUE;
}

BOOL CDC::AttachImage(QImage* image) {
    if (!image || image->isNull())
        return FALSE;
    Detach();
    m_target = Target::Image;
    m_image = image;
    UpdateRatio();
    return TRUE;
}

BOOL CDC::AttachPainter(QPainter* painter) {
    if (!painter || !painter->isActive())
        return FALSE;
    Detach();
    m_target = Target::Painter;
    m_painter = painter;
    painter->save();
    m_baseTransform = painter->worldTransform();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setRenderHint(QPainter::TextAntialiasing, false);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    return TRUE;
}

void CDC::Detach() {
    Reset();
    InitDefaults();
}

void CDC::Flush() {
    ReleaseHeldFill();
    if (m_ownPainter && m_ownPainter->isActive())
        m_ownPainter->end();
}

void CDC::UseBitmapImage() {
    Flush();
    m_image = m_bitmap ? &m_bitmap->m_image : nullptr;
    UpdateRatio();
}

void CDC::UpdateRatio() {
    const double ratio = m_image && !m_image->isNull() ? m_image->devicePixelRatio() : 1.0;
    m_ratio = ratio > 0 ? ratio : 1.0;
    const double whole = std::round(m_ratio);
    m_intRatio = whole == m_ratio && whole <= 64 ? static_cast<int>(whole) : 0;
}

long long CDC::ScaledCoord(long long v) const {
    // Rounded half up, as the window system places a widget's device pixels.
    const double device = std::floor(static_cast<double>(v) * m_ratio + 0.5);
    return static_cast<long long>(std::clamp(device, -0x1p40, 0x1p40));
}

QRect CDC::DeviceRect(int left, int top, int right, int bottom) const {
    constexpr long long kLimit = INT_MAX / 4;
    auto device = [&](int v) {
        return static_cast<int>(std::clamp(DeviceCoord(v), -kLimit, kLimit));
    };
    const int l = device(left), t = device(top);
    return QRect(l, t, device(right) - l, device(bottom) - t);
}

double CDC::CompatibleRatio() const {
    if (m_target == Target::Painter) {
        // A printer's page is drawn at its own resolution by the painter.
        const QPaintDevice* device = m_painter ? m_painter->device() : nullptr;
        if (!device || device->devType() == QInternal::Printer)
            return 1.0;
        return device->devicePixelRatio() > 0 ? device->devicePixelRatio() : 1.0;
    }
    if (m_target == Target::Memory && m_bitmap && m_bitmap == m_stockBitmap.get())
        return m_compatRatio;
    return m_ratio;
}

QPainter* CDC::Painter(const QRect* area) {
    if (m_target == Target::Painter)
        return m_painter;
    if (!m_image || m_image->isNull())
        return nullptr;
    ReleaseHeldFill(area);
    // What the painter draws is not followed.
    if (m_bitmap)
        m_bitmap->ForgetInk();
    // A painter works on the pixel buffer it began on; if the image has been
    // shared since, drawing must go to the image's own buffer from now on.
    if (m_ownPainter && m_ownPainter->isActive() && !m_image->isDetached())
        m_ownPainter->end();
    if (!m_ownPainter)
        m_ownPainter = std::make_unique<QPainter>();
    if (!m_ownPainter->isActive()) {
        if (!m_ownPainter->begin(m_image))
            return nullptr;
        m_ownPainter->setRenderHint(QPainter::Antialiasing, false);
        m_ownPainter->setRenderHint(QPainter::TextAntialiasing, false);
        m_ownPainter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        m_baseTransform = QTransform();
        ApplyMapping();
    }
    return m_ownPainter.get();
}

bool CDC::DirectRaster(DcRaster& raster, bool keepsInk, const QRect* area, bool overwrites) {
    if (!m_image || m_image->isNull() || m_image->format() != QImage::Format_RGB32 ||
        !IsIdentityMapping())
        return false;
    if (!keepsInk && m_bitmap)
        m_bitmap->ForgetInk();
    ReleaseHeldFill(area, overwrites);
    raster.bits = SurfaceBits();
    raster.stride = m_image->bytesPerLine() / 4;
    raster.width = m_image->width();
    raster.height = m_image->height();
    return true;
}

bool CDC::HoldFill(int left, int top, int right, int bottom, COLORREF color, bool& overwrites) {
    overwrites = false;
    if (!m_bitmap || m_image != &m_bitmap->m_image || m_image->isNull() ||
        m_image->format() != QImage::Format_RGB32 || !IsIdentityMapping())
        return false;
    const QRect area = QRect(left, top, right - left, bottom - top) & m_image->rect();
    if (area.isEmpty())
        return false;
    const std::uint32_t value = PixelValue(color);
    const bool sameColour = ((value ^ m_heldPixel) & kPixelRgbMask) == 0;
    if (area == m_image->rect()) {
        // A bitmap that follows its ink clears to its base colour chunk by chunk.
        CBitmap* ink = KnownInk();
        if (!m_fillHeld && ink && ((value ^ ink->m_inkBase) & kPixelRgbMask) == 0)
            return false;
        m_fillHeld = true;
        m_heldPixel = value;
        m_heldTaken.clear();
        m_bitmap->SetInkBase(value);
        return true;
    }
    if (!m_fillHeld)
        return false;
    if (sameColour && m_heldTaken.size() >= kMaxHeldTaken) {
        // Only a few rectangles are followed: the fill is written now and
        // this one with it, as any other fill.
        ReleaseHeldFill();
        return false;
    }
    if (sameColour) {
        // The area gets the held colour now and leaves the held fill: a row of
        // fills side by side (the runs of a banded background, some of them in
        // the held colour) then stays one rectangle taken out of it.
        std::uint32_t* bits = SurfaceBits();
        const qsizetype stride = m_image->bytesPerLine() / 4;
        for (int y = area.top(); y <= area.bottom(); ++y)
            FillPixels(bits + y * stride + area.left(), static_cast<size_t>(area.width()),
                       m_heldPixel);
        TakeFromHeld(area);
        return true;
    }
    // While the fill is held the ink base is its colour: a fill of another
    // colour writes all of its pixels.
    overwrites = true;
    return false;
}

void CDC::ReleaseHeldFill(const QRect* area, bool overwritten) const {
    if (!m_fillHeld)
        return;
    if (!m_image || m_image->isNull()) {
        m_fillHeld = false;
        return;
    }
    QRect part = area ? *area & m_image->rect() : m_image->rect();
    const bool whole = !area || m_heldTaken.size() >= kMaxHeldTaken;
    if (whole) {
        part = m_image->rect();
        overwritten = false;
    }
    if (!part.isEmpty() && !overwritten) {
        std::uint32_t* bits = SurfaceBits();
        const qsizetype stride = m_image->bytesPerLine() / 4;
        // The taken rectangles that meet the part, from left to right, once:
        // a part is often a short line of text, written row by row.
        QVarLengthArray<QRect, kMaxHeldTaken> meeting;
        for (const QRect& taken : m_heldTaken) {
            if (taken.intersects(part))
                meeting.push_back(taken & part);
        }
        std::sort(meeting.begin(), meeting.end(),
                  [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
        // Each row of the part without the spans already taken out.
        const int end = part.right() + 1;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            std::uint32_t* row = bits + y * stride;
            int x = part.left();
            for (const QRect& taken : meeting) {
                if (x >= end)
                    break;
                if (y < taken.top() || y > taken.bottom())
                    continue;
                if (taken.left() > x)
                    FillPixels(row + x, static_cast<size_t>(taken.left() - x), m_heldPixel);
                x = std::max(x, taken.right() + 1);
            }
            if (x < end)
                FillPixels(row + x, static_cast<size_t>(end - x), m_heldPixel);
        }
    }
    if (whole) {
        m_fillHeld = false;
        m_heldTaken.clear();
    } else if (!part.isEmpty()) {
        TakeFromHeld(part);
    }
}

void CDC::TakeFromHeld(const QRect& part) const {
    // A part on the same rows as a taken rectangle and touching or overlapping
    // it joins it, so that fills side by side count as one.
    for (QRect& taken : m_heldTaken) {
        if (taken.top() == part.top() && taken.bottom() == part.bottom() &&
            part.left() <= taken.right() + 1 && taken.left() <= part.right() + 1) {
            taken = taken.united(part);
            return;
        }
    }
    m_heldTaken.push_back(part);
}

std::uint32_t* CDC::SurfaceBits() const {
    // A painter works on the pixel buffer it began on; if the image has been
    // shared since, its own buffer is written from now on.
    if (m_ownPainter && m_ownPainter->isActive() && !m_image->isDetached())
        m_ownPainter->end();
    return reinterpret_cast<std::uint32_t*>(m_image->bits());
}

CBitmap* CDC::KnownInk() {
    return m_bitmap && m_bitmap->HasInk() && m_image == &m_bitmap->m_image ? m_bitmap : nullptr;
}

bool CDC::IsMonochrome() const {
    return m_bitmap && m_bitmap->m_mono;
}

std::uint32_t CDC::PixelValue(COLORREF color) const {
    if (IsMonochrome())
        return IsNearerWhite(color) ? kPixelWhite : kPixelBlack;
    return PixelFromColor(color);
}

QColor CDC::PaintColor(COLORREF color) const {
    return QColor::fromRgb(PixelValue(color));
}

// ---- Objects

CGdiObject* CDC::Stock(int index) {
    if (index < 0 || index >= static_cast<int>(m_stock.size()))
        return nullptr;
    std::unique_ptr<CGdiObject>& slot = m_stock[static_cast<size_t>(index)];
    if (!slot) {
        std::unique_ptr<CGdiObject> object;
        if (index >= WHITE_BRUSH && index <= NULL_BRUSH) {
            auto brush = std::make_unique<CBrush>();
            brush->CreateStockObject(index);
            object = std::move(brush);
        } else if (index >= WHITE_PEN && index <= NULL_PEN) {
            auto pen = std::make_unique<CPen>();
            pen->CreateStockObject(index);
            object = std::move(pen);
        } else if (index == SYSTEM_FONT) {
            // The default font: a plain face at the usual character height,
            // cheap to make because every DC starts with it.
            auto font = std::make_unique<CFont>();
            LOGFONT lf;
            lf.lfHeight = -13;
            lf.lfWeight = FW_NORMAL;
            lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
            font->CreateFontIndirect(&lf);
            object = std::move(font);
        } else {
            auto font = std::make_unique<CFont>();
            if (!font->CreateStockObject(index))
                return nullptr;
            object = std::move(font);
        }
        object->m_stock = true;
        slot = std::move(object);
    }
    return slot.get();
}

void CDC::Acquire(CGdiObject* object) {
    object->m_users.push_back(this);
}

void CDC::Release(CGdiObject* object) {
    auto& users = object->m_users;
    auto it = std::find(users.begin(), users.end(), this);
    if (it != users.end())
        users.erase(it);
}

void CDC::ObjectGone(CGdiObject* object) {
    Release(object);
    // The working copies stay: drawing goes on as it was until the next selection.
    if (object == m_pen) {
        m_pen = static_cast<CPen*>(Stock(BLACK_PEN));
        Acquire(m_pen);
    } else if (object == m_brush) {
        m_brush = static_cast<CBrush*>(Stock(WHITE_BRUSH));
        Acquire(m_brush);
    } else if (object == m_font) {
        m_font = static_cast<CFont*>(Stock(SYSTEM_FONT));
        Acquire(m_font);
    } else if (object == m_bitmap) {
        Flush();
        m_bitmap = m_stockBitmap.get();
        if (m_bitmap)
            Acquire(m_bitmap);
        UseBitmapImage();
    }
}

CPen* CDC::SelectObject(CPen* pen) {
    if (!pen || !pen->GetSafeHandle())
        return nullptr;
    CPen* old = m_pen;
    if (pen != old) {
        Release(old);
        m_pen = pen;
        Acquire(pen);
    }
    m_logPen = pen->m_log;
    return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
    if (!brush || !brush->GetSafeHandle())
        return nullptr;
    CBrush* old = m_brush;
    if (brush != old) {
        Release(old);
        m_brush = brush;
        Acquire(brush);
    }
    m_logBrush = brush->m_log;
    return old;
}

CFont* CDC::SelectObject(CFont* font) {
    if (!font || !font->GetSafeHandle())
        return nullptr;
    CFont* old = m_font;
    if (font != old) {
        Release(old);
        m_font = font;
        Acquire(font);
    }
    m_qfont = font->m_font;
    m_metrics = font->m_metrics;
    return old;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    if (m_target != Target::Memory || !bitmap || !bitmap->GetSafeHandle())
        return nullptr;
    // A bitmap is the surface of one memory DC at a time.
    for (CDC* user : bitmap->m_users) {
        if (user != this)
            return nullptr;
    }
    CBitmap* old = m_bitmap;
    if (bitmap != old) {
        Flush();
        if (old)
            Release(old);
        m_bitmap = bitmap;
        Acquire(bitmap);
        UseBitmapImage();
    }
    return old;
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    if (!object)
        return nullptr;
    switch (object->GetKind()) {
    case CGdiObject::Kind::Pen:
        return SelectObject(static_cast<CPen*>(object));
    case CGdiObject::Kind::Brush:
        return SelectObject(static_cast<CBrush*>(object));
    case CGdiObject::Kind::Font:
        return SelectObject(static_cast<CFont*>(object));
    case CGdiObject::Kind::Bitmap:
        return SelectObject(static_cast<CBitmap*>(object));
    }
    return nullptr;
}

CGdiObject* CDC::SelectStockObject(int index) {
    return SelectObject(Stock(index));
}

// ---- State

COLORREF CDC::SetTextColor(COLORREF color) {
    return std::exchange(m_textColor, color);
}

COLORREF CDC::SetBkColor(COLORREF color) {
    return std::exchange(m_bkColor, color);
}

int CDC::SetBkMode(int mode) {
    if (mode != OPAQUE && mode != TRANSPARENT)
        return 0;
    return std::exchange(m_bkMode, mode);
}

UINT CDC::SetTextAlign(UINT flags) {
    return std::exchange(m_textAlign, flags);
}

// ---- Mapping

bool CDC::IsIdentityMapping() const {
    const bool origins = m_windowOrg.x == m_viewportOrg.x && m_windowOrg.y == m_viewportOrg.y;
    if (m_mapMode == MM_TEXT)
        return origins;
    return origins && m_windowOrg.x == 0 && m_windowOrg.y == 0 && m_windowExt == m_viewportExt;
}

QTransform CDC::MappingTransform() const {
    double sx = 1.0;
    double sy = 1.0;
    if (m_mapMode != MM_TEXT && m_windowExt.cx != 0 && m_windowExt.cy != 0) {
        sx = static_cast<double>(m_viewportExt.cx) / m_windowExt.cx;
        sy = static_cast<double>(m_viewportExt.cy) / m_windowExt.cy;
        if (m_mapMode == MM_ISOTROPIC) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = sx < 0 ? -s : s;
            sy = sy < 0 ? -s : s;
        }
    }
    return QTransform(sx, 0, 0, sy, m_viewportOrg.x - m_windowOrg.x * sx,
                      m_viewportOrg.y - m_windowOrg.y * sy);
}

void CDC::ApplyMapping() {
    QPainter* painter = m_target == Target::Painter ? m_painter : m_ownPainter.get();
    if (painter && painter->isActive())
        painter->setWorldTransform(MappingTransform() * m_baseTransform);
}

int CDC::SetMapMode(int mode) {
    if (mode != MM_TEXT && mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC)
        return 0;
    const int old = std::exchange(m_mapMode, mode);
    ApplyMapping();
    return old;
}

CPoint CDC::SetWindowOrg(int x, int y) {
    const CPoint old = std::exchange(m_windowOrg, CPoint(x, y));
    ApplyMapping();
    return old;
}

CSize CDC::SetWindowExt(int cx, int cy) {
    const CSize old = m_windowExt;
    if (m_mapMode != MM_TEXT && cx != 0 && cy != 0) {
        m_windowExt = CSize(cx, cy);
        ApplyMapping();
    }
    return old;
}

CPoint CDC::SetViewportOrg(int x, int y) {
    const CPoint old = std::exchange(m_viewportOrg, CPoint(x, y));
    ApplyMapping();
    return old;
}

CSize CDC::SetViewportExt(int cx, int cy) {
    const CSize old = m_viewportExt;
    if (m_mapMode != MM_TEXT && cx != 0 && cy != 0) {
        m_viewportExt = CSize(cx, cy);
        ApplyMapping();
    }
    return old;
}

int CDC::GetDeviceCaps(int index) const {
    int width = 0;
    int height = 0;
    int dpiX = 96;
    int dpiY = 96;
    if (m_image) {
        // The surface's size in logical units.
        width = static_cast<int>(m_image->width() / m_ratio);
        height = static_cast<int>(m_image->height() / m_ratio);
    } else if (m_painter && m_painter->device()) {
        const QPaintDevice* device = m_painter->device();
        width = device->width();
        height = device->height();
        dpiX = device->logicalDpiX();
        dpiY = device->logicalDpiY();
    }
    switch (index) {
    case HORZRES:
        return width;
    case VERTRES:
        return height;
    case HORZSIZE:
        return dpiX > 0 ? width * 254 / (dpiX * 10) : 0;
    case VERTSIZE:
        return dpiY > 0 ? height * 254 / (dpiY * 10) : 0;
    case LOGPIXELSX:
        return dpiX;
    case LOGPIXELSY:
        return dpiY;
    case BITSPIXEL:
        return IsMonochrome() ? 1 : 32;
    case PLANES:
        return 1;
    default:
        return 0;
    }
}
