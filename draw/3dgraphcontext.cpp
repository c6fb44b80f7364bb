// The spectrogram: projection tables per resize, the legend image, and the
// slices stamped one by one from the oldest to the newest.
#include "draw/3dgraphcontext.h"

#include "draw/datalinecontext.h"
#include "draw/legendscale.h"
#include "lib/drawobject.h"
#include "platform/dc.h"

#include <QImage>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

namespace {
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
// Each band spans two twentieths of the legend, so neighbours overlap by half.
constexpr double kBandRatio = 0.05;
// The time axis has ticks at every quarter of the front face.
constexpr int kTimeTicks = 4;
constexpr int kTickLength = 6;
// Texts keep this distance from the legend, the slice and the chunk line.
constexpr int kTextGap = 2;
// One slice maps at most two points per pixel column of the envelope.
constexpr int kShiftedReserve = 4096;
// The most pixels of a picture whose time axis is recorded (two 4K screens).
constexpr long long kMaxAxisScratch = 2LL * 3840 * 2160;

// Edges included, as in the hit test of every context.
bool Inside(const RECT& r, int x, int y) {
    return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
}

// The convex hull of points, counter-clockwise (monotone chain).
std::vector<POINT> ConvexHull(std::vector<POINT> points) {
    std::sort(points.begin(), points.end(),
              [](const POINT& a, const POINT& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    auto cross = [](const POINT& o, const POINT& a, const POINT& b) {
        return static_cast<long long>(a.x - o.x) * (b.y - o.y) -
               static_cast<long long>(a.y - o.y) * (b.x - o.x);
    };
    std::vector<POINT> hull(points.size() * 2);
    size_t k = 0;
    for (const POINT& p : points) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0) {
            --k;
        }
        hull[k++] = p;
    }
    for (size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) {
            --k;
        }
        hull[k++] = points[i];
    }
    hull.resize(k > 1 ? k - 1 : k);
    return hull;
}

int Wrap(long long value, int count) {
    const long long m = value % count;
    return static_cast<int>(m < 0 ? m + count : m);
}
} // namespace

C3DGraphContext::C3DGraphContext() {
    m_SlicePen.CreatePen(PS_SOLID, 1, kWhite);
    for (int i = 0; i < kLegendBands; ++i) {
        CBlendObject& band = m_LegendBand[static_cast<size_t>(i)];
        // Red (highest level) through yellow, green and blue to black.
        band.SetColor(LegendScale::BandColor(i));
        band.SetRatio(0.0, std::max(kBandRatio * (i - 1), 0.0), 1.0, kBandRatio * (i + 1));
        band.SetMasterFlag(1);
        band.SetRedrawFlag(1);
        AddBlend(&band);
    }
    m_Shifted.reserve(kShiftedReserve);
}

C3DGraphContext::~C3DGraphContext() {
    // The bands are members: take them off the list before it goes.
    ClearBlendObjects();
}

WORD C3DGraphContext::GetTypeCode() {
    return DrawType::k3DGraphContext;
}

CString C3DGraphContext::GetClassName() {
    return "C3DGraphContext";
}

// ---- The ring

void C3DGraphContext::SetSliceCount(int count) {
    m_SliceCount = std::clamp(count, 1, kRingSize);
    m_RingIndex %= m_SliceCount;
}

CDataLineContext* C3DGraphContext::GetRingEntry(int index) const {
    return index >= 0 && index < kRingSize ? m_Ring[static_cast<size_t>(index)] : nullptr;
}

CDataLineContext* C3DGraphContext::GetSliceAt(int position) const {
    if (position < 0 || position >= m_SliceCount) {
        return nullptr;
    }
    return WithPoints(RingIndexAt(position));
}

size_t C3DGraphContext::RingIndexAt(int position) const {
    return static_cast<size_t>(Wrap(static_cast<long long>(m_RingIndex) - position, m_SliceCount));
}

CDataLineContext* C3DGraphContext::WithPoints(size_t index) const {
    CDataLineContext* slice = m_Ring[index];
    if (slice && m_PointsDue[index] && HasLayout()) {
        const CRect box = GetSliceBox();
        slice->MakePoints(nullptr, &box);
        m_PointsDue[index] = false;
    }
    return slice;
}

size_t C3DGraphContext::FirstIndex() const {
    size_t i = 0;
    while (i < m_Ring.size() && !m_Ring[i]) {
        ++i;
    }
    return i;
}

CDataLineContext* C3DGraphContext::FirstSlice() const {
    const size_t i = FirstIndex();
    return i < m_Ring.size() ? WithPoints(i) : nullptr;
}

const CBlendObject& C3DGraphContext::GetLegendBand(int band) const {
    return m_LegendBand[static_cast<size_t>(std::clamp(band, 0, kLegendBands - 1))];
}

void C3DGraphContext::AddSlice(CDataLineContext* slice, int offset) {
    m_RingIndex = (m_RingIndex + 1) % m_SliceCount;
    const auto index =
        static_cast<size_t>(Wrap(static_cast<long long>(m_RingIndex) + offset, m_SliceCount));
    m_Ring[index] = slice;
    m_PointsDue[index] = slice != nullptr;
    m_MappedAside[index] = false;
}

void C3DGraphContext::ClearSlices() {
    m_Ring.fill(nullptr);
    m_PointsDue.fill(false);
    m_MappedAside.fill(false);
    m_RingIndex = 0;
}

// ---- The projection

CRect C3DGraphContext::GetSliceBox() const {
    // D wide and Q high, in the lower part of the box: the depth shift lifts it
    // by up to E.
    return CRect(0, m_DepthHeight, m_DepthWidth, m_DepthHeight + m_TopMargin);
}

int C3DGraphContext::DepthAt(int x) const {
    return m_Depth[static_cast<size_t>(std::clamp(x, 0, m_DepthWidth))];
}

int C3DGraphContext::TimeAt(int x) const {
    if (m_Time.empty()) {
        return 0;
    }
    return m_Time[static_cast<size_t>(std::clamp(x, 0, static_cast<int>(m_Time.size()) - 1))];
}

CPoint C3DGraphContext::SliceOrigin(int position) const {
    const int offset =
        static_cast<int>(static_cast<long long>(position) * m_FrontWidth / m_SliceCount);
    return CPoint(m_LayoutRect.left + offset,
                  m_LayoutRect.bottom - TimeAt(offset) - (m_DepthHeight + m_TopMargin));
}

void C3DGraphContext::SetWindowRect(int l, int t, int r, int b) {
    m_Rect = CRect(l, t, r, b);
    m_LayoutRect = m_Rect;
    m_DepthWidth = 0;
    m_FrontWidth = 0;
    m_Time.clear();
    const long long w = static_cast<long long>(r) - l + 1;
    const long long h = static_cast<long long>(b) - t + 1;
    if (w <= 0 || h <= 0) {
        return;
    }
    // Depth width one third of the width, depth height one quarter of the
    // height; the table bounds the depth width.
    const int d = static_cast<int>(std::min<long long>((w * 0x5555) >> 16, kMaxDepthTable - 1));
    const int e = static_cast<int>((h * 0x4000) >> 16);
    const int q = static_cast<int>(h >> 2);
    m_DepthHeight = e;
    m_TopMargin = q;
    m_FrontTop = t + e + q;
    m_BackTop = t + q;
    const int front = r - (l + d);
    if (d <= 0 || front <= 0) {
        return;
    }
    m_DepthWidth = d;
    m_FrontWidth = front;

    // 13.19 fixed point: the frequency axis rises by E from the front (x = D)
    // to the back (x = 0), the time axis by the front face's height along it.
    const long long depthStep = (static_cast<long long>(e) << kTableShift) / d;
    for (int x = 0; x <= d; ++x) {
        m_Depth[static_cast<size_t>(x)] = e - static_cast<int>((x * depthStep) >> kTableShift);
    }
    const long long timeStep = (static_cast<long long>(b - m_FrontTop) << kTableShift) / front;
    m_Time.resize(static_cast<size_t>(front) + 1);
    for (int x = 0; x <= front; ++x) {
        m_Time[static_cast<size_t>(x)] = static_cast<int>((x * timeStep) >> kTableShift);
    }

    const int legendBottom =
        std::min(std::max(m_BackTop - DepthAt(kLegendWidth), t + kLegendMinHeight), b);
    m_LegendRect = CRect(l, t, std::min(l + kLegendWidth, r), legendBottom);
    for (CBlendObject& band : m_LegendBand) {
        band.SetRect(m_LegendRect);
    }
    RenderLegend();

    MakeSliceBitmaps(nullptr);
    // Every slice's points are made again in the new box when it is next asked for.
    for (size_t i = 0; i < m_Ring.size(); ++i) {
        m_PointsDue[i] = m_Ring[i] != nullptr;
        m_MappedAside[i] = false;
    }
}

void C3DGraphContext::MakeSliceBitmaps(CDC* pDC) {
    // The slice image is white: every pixel of the slice pen that the mask
    // lets through is white already, so only the mask is drawn per slice.
    // Both have the device pixels of the DC the slices are stamped on.
    const int w = m_DepthWidth + 1;
    const int h = m_DepthHeight + m_TopMargin + 1;
    m_SliceImage.CreateCompatibleBitmap(pDC, w, h);
    {
        CDC dc;
        dc.CreateCompatibleDC(pDC);
        CBitmap* old = dc.SelectObject(&m_SliceImage);
        dc.FillSolidRect(0, 0, w, h, kWhite);
        dc.SelectObject(old);
    }
    m_SliceMask.CreateCompatibleBitmap(pDC, w, h, true);
    m_SliceRatio = pDC ? pDC->CompatibleRatio() : 1.0;
}

void C3DGraphContext::RenderLegend() {
    const int w = m_LegendRect.Width();
    const int h = m_LegendRect.Height();
    if (w <= 0 || h <= 0) {
        m_Legend.DeleteObject();
        return;
    }
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    m_Legend.CreateCompatibleBitmap(&dc, w, h);
    CBitmap* old = dc.SelectObject(&m_Legend);
    const int alpha = GetWindowAlphaFactor();
    const COLORREF none = m_pDrawObject ? m_pDrawObject->GetBackGroundColor() : kBlack;
    // Twenty steps of 1/20 of the height (16.16); step i lies where bands i and
    // i + 1 overlap and shows their blend, as the blending background paints
    // it (the later band blended over the earlier one).
    for (int i = 0; i < kLegendBands; ++i) {
        int y0 = 0, y1 = 0;
        LegendScale::StepRows(h, i, &y0, &y1);
        const CBlendObject& band = m_LegendBand[static_cast<size_t>(i)];
        const CBlendObject* below =
            i + 1 < kLegendBands ? &m_LegendBand[static_cast<size_t>(i + 1)] : nullptr;
        const bool upper = band.GetRedrawFlag() != 0;
        const bool lower = below && below->GetRedrawFlag() != 0;
        COLORREF color = none;
        if (upper && lower) {
            color = AlphaBlendFunction(below->GetColor(), band.GetColor(), alpha);
        } else if (upper) {
            color = band.GetColor();
        } else if (lower) {
            color = below->GetColor();
        }
        dc.FillSolidRect(0, y0, w, y1 - y0, color);
    }
    dc.SelectObject(old);
}

// ---- Drawing

void C3DGraphContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CBackGroundContext::Draw(pDC, parent, reserved);
    if (!pDC) {
        return;
    }
    // A parent that lays this context out is a resize too.
    if (m_Rect != m_LayoutRect) {
        SetWindowRect(m_Rect.left, m_Rect.top, m_Rect.right, m_Rect.bottom);
    }
    if (!HasLayout()) {
        return;
    }
    DrawBands(pDC);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    DrawLegend(pDC);
    DrawTimeAxis(pDC);
    DrawSlices(pDC);
    DrawChunkLine(pDC);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}

void C3DGraphContext::DrawBands(CDC* pDC) {
    // The owner's bands (the channels marked on the graph) take their
    // frequency columns of the slice box, over the rows the levels use there
    // (the depth lifts them), and run along the time axis from the newest
    // slice to the oldest: behind the slices, inside the slice boxes. The
    // legend is drawn on its own.
    const CRect outer(0, 0, m_DepthWidth, m_DepthHeight + m_TopMargin);
    auto pieces = BlendPieces(outer, [this](const CBlendObject* b) {
        return b < m_LegendBand.data() || b >= m_LegendBand.data() + kLegendBands;
    });
    if (pieces.empty()) {
        return;
    }
    // From the back (low frequencies, raised by the depth) to the front, so
    // that a nearer band covers a farther one where they meet.
    std::stable_sort(pieces.begin(), pieces.end(), [](const BlendPiece& a, const BlendPiece& b) {
        return a.rect.left < b.rect.left;
    });
    const CPoint newest = SliceOrigin(0);
    const CPoint oldest = SliceOrigin(m_SliceCount - 1);
    CPen* oldPen = pDC->GetCurrentPen();
    CBrush* oldBrush = pDC->GetCurrentBrush();
    for (const BlendPiece& piece : pieces) {
        const int x1 = std::clamp(static_cast<int>(piece.rect.left), 0, m_DepthWidth);
        const int x2 = std::clamp(static_cast<int>(piece.rect.right), 0, m_DepthWidth);
        if (x2 < x1) {
            continue;
        }
        // The band in the box: its columns between the level rows' top and
        // bottom at either edge; swept from the newest box to the oldest (the
        // hull of the two, as the boxes follow a straight line).
        const int bottom = m_DepthHeight + m_TopMargin;
        const POINT box[] = {{x1, m_DepthHeight - DepthAt(x1)},
                             {x2, m_DepthHeight - DepthAt(x2)},
                             {x2, bottom - DepthAt(x2)},
                             {x1, bottom - DepthAt(x1)}};
        std::vector<POINT> swept;
        for (const CPoint& origin : {newest, oldest}) {
            for (const POINT& p : box) {
                swept.push_back({origin.x + p.x, origin.y + p.y});
            }
        }
        const std::vector<POINT> hull = ConvexHull(std::move(swept));
        CPen pen;
        pen.CreatePen(PS_SOLID, 1, piece.color);
        CBrush brush;
        brush.CreateSolidBrush(piece.color);
        pDC->SelectObject(&pen);
        pDC->SelectObject(&brush);
        pDC->Polygon(hull.data(), static_cast<int>(hull.size()));
        pDC->SelectObject(oldPen);
        pDC->SelectObject(oldBrush);
    }
}

void C3DGraphContext::DrawLegend(CDC* pDC) {
    if (m_Legend.GetSafeHandle()) {
        CDC mem;
        mem.CreateCompatibleDC(pDC);
        CBitmap* old = mem.SelectObject(&m_Legend);
        pDC->BitBlt(m_LegendRect.left, m_LegendRect.top, m_LegendRect.Width(),
                    m_LegendRect.Height(), &mem, 0, 0, SRCCOPY);
        mem.SelectObject(old);
    }
    // The levels are the first slice's window; its points are not needed.
    const size_t first = FirstIndex();
    if (first >= m_Ring.size()) {
        return;
    }
    const CDataLineContext* slice = m_Ring[first];
    const std::array<double, 2> levels{slice->GetYMax(), slice->GetYMin()};
    if (levels != m_LegendLevels || m_LegendTexts[0].IsEmpty()) {
        m_LegendTexts[0].Format("%g", levels[0]);
        m_LegendTexts[1].Format("%g", levels[1]);
        m_LegendLevels = levels;
    }
    const CString& top = m_LegendTexts[0];
    const CString& bottom = m_LegendTexts[1];
    const int x = m_LegendRect.right + kTextGap;
    pDC->TextOut(x, m_LegendRect.top, top);
    pDC->TextOut(x, m_LegendRect.bottom - pDC->GetTextExtent(bottom).cy, bottom);
    DrawLegendNote(pDC, x, m_LegendRect.top + pDC->GetTextExtent(top).cy);
}

void C3DGraphContext::SetLegendNote(const CString& note) {
    if (note == m_LegendNote)
        return;
    m_LegendNote = note;
    m_NoteLines.clear();
    m_NoteWidth = -1;
}

void C3DGraphContext::DrawLegendNote(CDC* pDC, int x, int y) {
    if (m_LegendNote.IsEmpty())
        return;
    // Words are put on a line while they fit beside the legend; a word wider
    // than that stands alone.
    const int width = static_cast<int>(m_Rect.right) - x;
    const int whole = pDC->GetTextExtent(m_LegendNote).cx;
    if (width != m_NoteWidth || whole != m_NoteWhole) {
        m_NoteWidth = width;
        m_NoteWhole = whole;
        m_NoteLines.clear();
        const std::string note(m_LegendNote.c_str());
        CString line;
        for (std::size_t at = 0; at < note.size();) {
            const std::size_t space = note.find(' ', at);
            const std::size_t end = space == std::string::npos ? note.size() : space;
            const CString word(note.substr(at, end - at).c_str());
            at = end + 1;
            if (word.IsEmpty())
                continue;
            const CString longer = line.IsEmpty() ? word : line + " " + word;
            if (!line.IsEmpty() && pDC->GetTextExtent(longer).cx > width) {
                m_NoteLines.push_back(line);
                line = word;
            } else {
                line = longer;
            }
        }
        if (!line.IsEmpty())
            m_NoteLines.push_back(line);
    }
    for (const CString& line : m_NoteLines) {
        pDC->TextOut(x, y, line);
        y += pDC->GetTextExtent(line).cy;
    }
}

void C3DGraphContext::DrawTimeAxis(CDC* pDC) {
    // A wide pen strokes through a painter; on a plain picture the pixels it
    // set at an earlier frame of the same layout, pen and picture are set
    // again instead. Getting the picture writes a held fill, as the painter
    // would; a narrow pen draws pixel by pixel anyway.
    const LOGPEN& pen = pDC->GetDrawingPen();
    QImage* picture = nullptr;
    if (pen.lopnStyle != PS_NULL && pDC->PenWidth() > 1 && pDC->IsIdentityMapping() &&
        pDC->GetDeviceCaps(BITSPIXEL) == 32) {
        picture = pDC->GetImage();
    }
    // A picture shared with a copy would be written by the painter in its own
    // buffer, not in the one its bits give; on a picture of another pixel
    // ratio the painter scales the stroke.
    if (!picture || picture->format() != QImage::Format_RGB32 || !picture->isDetached() ||
        picture->devicePixelRatio() != 1.0) {
        m_Axis = AxisPixels{};
        StrokeTimeAxis(pDC);
        return;
    }
    const int bkMode = pDC->GetBkMode();
    const COLORREF bkColor = pDC->GetBkColor();
    const std::array<long long, 12> key{
        m_LayoutRect.left,       m_LayoutRect.top, m_LayoutRect.right,
        m_LayoutRect.bottom,     picture->width(), picture->height(),
        picture->bytesPerLine(), pen.lopnStyle,    pen.lopnWidth.x,
        pen.lopnColor,           bkMode,           bkColor};
    if (key != m_Axis.key) {
        m_Axis = AxisPixels{};
        m_Axis.key = key;
    }
    if (m_Axis.frames < 2 && ++m_Axis.frames == 2) {
        m_Axis.kept = RecordTimeAxis(*picture, pen, bkMode, bkColor);
    }
    if (!m_Axis.kept) {
        StrokeTimeAxis(pDC);
        return;
    }
    auto* bits = reinterpret_cast<std::uint32_t*>(picture->bits());
    for (const std::uint32_t offset : m_Axis.offsets) {
        bits[offset] = m_Axis.value;
    }
    pDC->MoveTo(m_Axis.end.x, m_Axis.end.y);
}

void C3DGraphContext::StrokeTimeAxis(CDC* pDC) const {
    // The axis joins the front ends of the slices; each tick points out of it
    // into the free space in front of the waterfall.
    const int x0 = m_LayoutRect.left + m_DepthWidth;
    const int b = m_LayoutRect.bottom;
    pDC->MoveTo(x0, b);
    pDC->LineTo(x0 + m_FrontWidth, b - TimeAt(m_FrontWidth));
    for (int k = 0; k <= kTimeTicks; ++k) {
        const int offset = m_FrontWidth * k / kTimeTicks;
        const int x = x0 + offset;
        const int y = b - TimeAt(offset);
        pDC->MoveTo(x, y);
        pDC->LineTo(std::min(x + kTickLength, static_cast<int>(m_LayoutRect.right)), y);
    }
}

bool C3DGraphContext::RecordTimeAxis(const QImage& picture, const LOGPEN& pen, int bkMode,
                                     COLORREF bkColor) {
    m_Axis.offsets.clear();
    // A picture far beyond a screen's size (a print) is not worth a copy.
    if (static_cast<long long>(picture.width()) * picture.height() > kMaxAxisScratch) {
        return false;
    }
    QImage scratch(picture.size(), QImage::Format_RGB32);
    if (scratch.isNull()) {
        return false;
    }
    // Cleared to the pen's complement, which differs from its pixel in every
    // channel: a pixel of another colour afterwards is one the stroke set.
    const QRgb clear = qRgb(255 - GetRValue(pen.lopnColor), 255 - GetGValue(pen.lopnColor),
                            255 - GetBValue(pen.lopnColor));
    scratch.fill(clear);
    {
        CPen scratchPen;
        scratchPen.CreatePenIndirect(&pen);
        CDC dc(&scratch);
        dc.SelectObject(&scratchPen);
        dc.SetBkMode(bkMode);
        dc.SetBkColor(bkColor);
        StrokeTimeAxis(&dc);
        m_Axis.end = dc.GetCurrentPosition();
    }
    const qsizetype rowLength = picture.bytesPerLine() / 4;
    bool first = true;
    for (int y = 0; y < scratch.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width(); ++x) {
            if (((row[x] ^ clear) & 0xFFFFFFu) == 0) {
                continue;
            }
            if (first) {
                m_Axis.value = row[x];
                first = false;
            } else if (row[x] != m_Axis.value) {
                m_Axis.offsets.clear();
                return false;
            }
            m_Axis.offsets.push_back(static_cast<std::uint32_t>(y * rowLength + x));
        }
    }
    return true;
}

const POINT* C3DGraphContext::BoxPoints(size_t index, const CRect& box, int* count) {
    CDataLineContext* slice = m_Ring[index];
    // A slice new since the last picture (a capture brings all of them anew)
    // is mapped into a work array that stays in the cache, rather than into
    // its envelope, which is written and read once per slice at every frame.
    // Its envelope is made when something else asks for it, or when the
    // slice is drawn a second time without new data.
    if (m_PointsDue[index] && !m_MappedAside[index]) {
        m_BoxPoints.resize(static_cast<size_t>(kEnvelopeColumns));
        const int n = slice->MakeColumnPoints(box, m_BoxPoints.data());
        if (n >= 0) {
            m_MappedAside[index] = true;
            *count = n;
            return m_BoxPoints.data();
        }
    }
    WithPoints(index);
    *count = slice->GetEnvelopeCount();
    return slice->GetEnvelopePoints();
}

bool C3DGraphContext::ShiftPoints(const POINT* points, int n, POINT offset, SliceBounds* bounds) {
    if (n < 2 || !points) {
        return false;
    }
    m_Shifted.resize(static_cast<size_t>(n));
    POINT* out = m_Shifted.data();
    // The envelope runs from left to right: its ends are the columns' bounds,
    // and when they lie in the box so does every point, which then needs no
    // clamp for DepthAt (read from the table here: this runs for every point
    // of every slice).
    const int left = points[0].x;
    const int right = points[n - 1].x;
    const int* depth = m_Depth.data();
    int top = INT_MAX;
    int bottom = INT_MIN;
    const auto shift = [&](auto depthAt) {
        for (int i = 0; i < n; ++i) {
            const int x = points[i].x;
            const int y = points[i].y - depthAt(x);
            out[i] = {x + offset.x, y + offset.y};
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    };
    if (left >= 0 && right <= m_DepthWidth) {
        shift([depth](int x) { return depth[x]; });
    } else {
        shift([depth, w = m_DepthWidth](int x) { return depth[std::clamp(x, 0, w)]; });
    }
    *bounds = {n, left, right, top, bottom};
    return true;
}

namespace {

// The slice image and its mask, each selected into a DC of its own with the
// slice pen, transparent, until the frame's slices are drawn.
class StampDCs {
public:
    StampDCs(CDC* pDC, CBitmap& imageBitmap, CBitmap& maskBitmap, CPen& pen) {
        image.CreateCompatibleDC(pDC);
        mask.CreateCompatibleDC(pDC);
        m_oldImage = image.SelectObject(&imageBitmap);
        m_oldMask = mask.SelectObject(&maskBitmap);
        image.SetBkMode(TRANSPARENT);
        mask.SetBkMode(TRANSPARENT);
        m_oldImagePen = image.SelectObject(&pen);
        m_oldMaskPen = mask.SelectObject(&pen);
    }
    ~StampDCs() {
        image.SelectObject(m_oldImagePen);
        mask.SelectObject(m_oldMaskPen);
        image.SelectObject(m_oldImage);
        mask.SelectObject(m_oldMask);
    }
    StampDCs(const StampDCs&) = delete;
    StampDCs& operator=(const StampDCs&) = delete;

    CDC image, mask;

private:
    CBitmap* m_oldImage = nullptr;
    CBitmap* m_oldMask = nullptr;
    CPen* m_oldImagePen = nullptr;
    CPen* m_oldMaskPen = nullptr;
};

} // namespace

void C3DGraphContext::DrawSlices(CDC* pDC) {
    const int boxWidth = m_DepthWidth + 1;
    const int boxHeight = m_DepthHeight + m_TopMargin + 1;
    // Made for the first slice stamped: a frame whose slices all go straight
    // onto the picture needs none.
    std::optional<StampDCs> stamp;

    // The highlighted slice is drawn into the image with the draw object's pen,
    // into the mask with a white pen of the same shape, so that the whole
    // stroke is stamped.
    CPen* highlightPen = m_pDrawObject ? m_pDrawObject->GetPen() : nullptr;
    CPen highlightMask;
    int highlightWidth = 1;
    if (highlightPen && m_ChunkFlag) {
        highlightWidth = std::max(1, m_pDrawObject->GetLineWidth());
        highlightMask.CreatePen(static_cast<int>(m_pDrawObject->GetLineStyle()),
                                m_pDrawObject->GetLineWidth(), kWhite);
    }

    // A slice stamped through its mask sets exactly the pixels of its stroke
    // inside the slice box to the white of the slice image. A stroke wholly
    // inside the box is therefore drawn straight onto a picture that is drawn
    // pixel by pixel (a bitmap without a mapping), with the same white pen.
    const QImage* picture = pDC->GetImage();
    const bool direct =
        picture && picture->format() == QImage::Format_RGB32 && pDC->GetMapMode() == MM_TEXT;
    CPen* oldPen = pDC->GetCurrentPen();
    bool slicePenSelected = false;

    const CRect box = GetSliceBox();
    for (int j = 0; j < m_SliceCount; ++j) {
        const int position = m_SliceCount - j - 1;
        const size_t index = RingIndexAt(position);
        if (!m_Ring[index]) {
            continue;
        }
        int count = 0;
        const POINT* points = BoxPoints(index, box, &count);
        const bool highlighted = m_ChunkFlag && highlightPen && position == m_SelectedSlice;
        // A slice that may go straight onto the picture is shifted to its
        // place at once; one that leaves its box is shifted again for the mask.
        const bool straight = direct && !highlighted;
        const CPoint origin = SliceOrigin(position);
        SliceBounds bounds;
        if (!ShiftPoints(points, count, straight ? POINT{origin.x, origin.y} : POINT{0, 0},
                         &bounds)) {
            continue;
        }
        const int n = bounds.count;
        const bool inside = bounds.left >= 0 && bounds.right < boxWidth && bounds.top >= 0 &&
                            bounds.bottom < boxHeight;
        if (straight && !inside) {
            ShiftPoints(points, count, POINT{0, 0}, &bounds);
        }
        const int top = bounds.top;
        const int bottom = bounds.bottom;
        if (straight && inside) {
            if (!slicePenSelected) {
                pDC->SelectObject(&m_SlicePen);
                slicePenSelected = true;
            }
            pDC->Polyline(m_Shifted.data(), n);
            continue;
        }
        if (!stamp) {
            if (pDC->CompatibleRatio() != m_SliceRatio)
                MakeSliceBitmaps(pDC);
            stamp.emplace(pDC, m_SliceImage, m_SliceMask, m_SlicePen);
        }
        CDC& image = stamp->image;
        CDC& mask = stamp->mask;
        // Clearing the mask clears the box: the slice image is read only where
        // the mask is set.
        mask.FillSolidRect(0, 0, boxWidth, boxHeight, kBlack);
        if (highlighted) {
            image.SelectObject(highlightPen);
            image.Polyline(m_Shifted.data(), n);
            mask.SelectObject(&highlightMask);
        }
        mask.Polyline(m_Shifted.data(), n);
        // Only the rows the slice drew are stamped.
        const int pad = highlighted ? highlightWidth : 1;
        const int rowTop = std::max(top - pad, 0);
        const int rowBottom = std::min(bottom + pad, boxHeight - 1);
        if (rowTop <= rowBottom) {
            pDC->MaskBlt(origin.x, origin.y + rowTop, boxWidth, rowBottom - rowTop + 1, &image, 0,
                         rowTop, m_SliceMask, 0, rowTop, kStampRop);
        }
        if (highlighted) {
            // The image is white again for the next slices (a fill of the
            // image as a whole: the image then knows it is white everywhere,
            // and the stamps need not read it).
            image.FillSolidRect(0, 0, boxWidth, boxHeight, kWhite);
            image.SelectObject(&m_SlicePen);
            mask.SelectObject(&m_SlicePen);
            CString label;
            label.Format("SLICE %d", m_SelectedSlice);
            const int baseY = origin.y + m_DepthHeight + m_TopMargin;
            pDC->TextOut(origin.x + boxWidth + kTextGap, baseY - pDC->GetTextExtent(label).cy,
                         label);
        }
    }
    if (slicePenSelected) {
        pDC->SelectObject(oldPen);
    }
}

bool C3DGraphContext::ChunkPoint(const CDataLineContext* slice, POINT* point) const {
    if (!slice || !slice->PointOfX(m_ChunkPosition, point)) {
        return false;
    }
    point->y -= DepthAt(point->x);
    return true;
}

void C3DGraphContext::DrawChunkLine(CDC* pDC) {
    if (!m_ChunkFlag) {
        return;
    }
    std::vector<POINT> line;
    line.reserve(static_cast<size_t>(m_SliceCount));
    for (int j = 0; j < m_SliceCount; ++j) {
        const int position = m_SliceCount - j - 1;
        POINT p;
        if (ChunkPoint(GetSliceAt(position), &p)) {
            const CPoint origin = SliceOrigin(position);
            line.push_back({origin.x + p.x, origin.y + p.y});
        }
    }
    if (line.empty()) {
        return;
    }
    if (line.size() >= 2) {
        pDC->Polyline(line.data(), static_cast<int>(line.size()));
    }
    // The label sits above the oldest end of the line, kept inside the context.
    CString label;
    label.Format("CHUNK %gMHz", m_ChunkPosition * 0.001);
    const CSize size = pDC->GetTextExtent(label);
    const POINT& oldest = line.front();
    const int x = std::min(oldest.x + kTextGap, static_cast<int>(m_LayoutRect.right) - size.cx);
    const int y = std::max(oldest.y - size.cy - kTextGap, static_cast<int>(m_LayoutRect.top));
    pDC->TextOut(x, y, label);
}

// ---- Hit tests

bool C3DGraphContext::HitSelectedSlice(int x, int y) const {
    if (!HasLayout() || m_SelectedSlice < 0 || m_SelectedSlice >= m_SliceCount ||
        !Inside(m_LayoutRect, x, y)) {
        return false;
    }
    const CPoint origin = SliceOrigin(m_SelectedSlice);
    const int bx = x - origin.x;
    if (bx < 0 || bx > m_DepthWidth) {
        return false;
    }
    const int base = origin.y + m_DepthHeight + m_TopMargin - DepthAt(bx);
    return y <= base && y >= base - kHitDistance;
}

bool C3DGraphContext::HitChunkLine(int x, int y) const {
    if (!HasLayout() || !Inside(m_LayoutRect, x, y)) {
        return false;
    }
    const CDataLineContext* slice = GetSliceAt(0);
    if (!slice) {
        slice = FirstSlice();
    }
    POINT p;
    if (!slice || !slice->PointOfX(m_ChunkPosition, &p)) {
        return false;
    }
    // The line runs from the newest slice's point to the oldest's.
    const int offset = x - (m_LayoutRect.left + p.x);
    const int oldest = SliceOrigin(m_SliceCount - 1).x - m_LayoutRect.left;
    if (offset < 0 || offset > oldest) {
        return false;
    }
    const int base = m_LayoutRect.bottom - TimeAt(offset) - DepthAt(p.x);
    return y <= base && y >= base - kHitDistance;
}
