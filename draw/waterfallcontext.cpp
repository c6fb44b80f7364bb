// The colour waterfall: the ring of samples, one coloured row per slice, the
// colour and column tables, and the picture with its legend, bands and marks.
#include "draw/waterfallcontext.h"

#include "draw/blendingbackgroundcontext.h"
#include "draw/legendscale.h"
#include "lib/blendobject.h"
#include "lib/drawobject.h"
#include "platform/dc.h"
#include "trace/tracestore.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int kTextGap = 2;
// The read-out's box keeps this distance inside the picture's corner.
constexpr int kReadoutInset = 4;
constexpr int kMarkTick = 6;

std::uint32_t Pixel(COLORREF c) {
    return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

COLORREF Color(std::uint32_t p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Wrap(long long value, int count) {
    const long long m = value % count;
    return static_cast<int>(m < 0 ? m + count : m);
}

// Right and bottom edges excluded.
bool Inside(const RECT& r, int x, int y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

// A time before now in microseconds, in the unit that suits it.
CString TimeText(double us) {
    CString s;
    if (us <= 0.0)
        s = "0us";
    else if (us < 1000.0)
        s.Format("-%gus", us);
    else if (us < 1e6)
        s.Format("-%.4gms", us / 1000.0);
    else
        s.Format("-%.4gs", us / 1e6);
    return s;
}
} // namespace

CWaterfallContext::CWaterfallContext() {
    m_Alpha = CBlendingBackGroundContext::GetWindowAlphaFactor();
    MakeColorTable();
}

CWaterfallContext::~CWaterfallContext() = default;

// ---- Colours

static_assert(CWaterfallContext::kLegendBands == LegendScale::kBands);

COLORREF CWaterfallContext::LegendBandColor(int band) {
    return LegendScale::BandColor(band);
}

COLORREF CWaterfallContext::LegendStepColor(int step, int alpha) {
    return LegendScale::StepColor(step, alpha);
}

std::uint32_t CWaterfallContext::NoSampleColor() const {
    return Pixel(m_pDrawObject ? m_pDrawObject->GetBackGroundColor() : RGB(0, 0, 0));
}

void CWaterfallContext::MakeColorTable() {
    for (int i = 0; i < kLegendBands; ++i)
        m_Steps[static_cast<size_t>(i)] = Pixel(LegendStepColor(i, m_Alpha));
    // Entry k covers the k-th 4096th of the range from the bottom and takes the
    // step at its centre; steps count from the top, so that a level shows the
    // legend's colour at its own height.
    for (int k = 0; k < kColorTableSize; ++k) {
        const int step = kLegendBands - 1 - (2 * k + 1) * kLegendBands / (2 * kColorTableSize);
        m_Table[static_cast<size_t>(k)] = m_Steps[static_cast<size_t>(step)];
    }
    const double lo = std::floor(m_LevelMin * kWordsPerDb) - m_UnitOffset;
    const double hi = std::floor(m_LevelMax * kWordsPerDb) - m_UnitOffset;
    const double span = std::max(hi - lo, 1.0);
    m_WordMin = static_cast<int>(std::clamp(lo, -1e6, 1e6));
    m_IndexScale = static_cast<long long>((static_cast<double>(kColorTableSize) * 65536.0) / span);
}

COLORREF CWaterfallContext::LevelColor(short word) const {
    if (word == kNoSample)
        return Color(NoSampleColor());
    const long long index = ((static_cast<long long>(word) - m_WordMin) * m_IndexScale) >> 16;
    return Color(
        m_Table[static_cast<size_t>(std::clamp<long long>(index, 0, kColorTableSize - 1))]);
}

void CWaterfallContext::SetLevelRange(double yMin, double yMax, int unitOffset) {
    if (!std::isfinite(yMin) || !std::isfinite(yMax))
        return;
    if (yMin > yMax)
        std::swap(yMin, yMax);
    if (yMin == m_LevelMin && yMax == m_LevelMax && unitOffset == m_UnitOffset)
        return;
    m_LevelMin = yMin;
    m_LevelMax = yMax;
    m_UnitOffset = unitOffset;
    MakeColorTable();
    // The peaks of the columns stay; only their colours change.
    ColorAllRows(false);
}

// ---- The ring

void CWaterfallContext::SetSliceCount(int count) {
    count = std::clamp(count, 1, kMaxSlices);
    if (m_Samples > 0)
        count = static_cast<int>(std::clamp<long long>(kMaxWords / m_Samples, 1, count));
    if (count == m_SliceCount && m_Capacity == count)
        return;
    // The kept slices move to the new ring, the newest first.
    std::vector<short> words(static_cast<size_t>(count) * static_cast<size_t>(m_Samples),
                             kNoSample);
    const int keep = std::min(m_Filled, count);
    for (int p = 0; p < keep; ++p) {
        const int slot = keep - 1 - p;
        std::memcpy(&words[static_cast<size_t>(slot) * static_cast<size_t>(m_Samples)],
                    &m_Words[static_cast<size_t>(Slot(p)) * static_cast<size_t>(m_Samples)],
                    static_cast<size_t>(m_Samples) * sizeof(short));
    }
    m_Words.swap(words);
    m_SliceCount = count;
    m_Capacity = count;
    UpdateRowsPerSlice();
    m_Filled = keep;
    m_Newest = keep - 1;
    ColorAllRows(true);
}

void CWaterfallContext::SetGrid(long long start, long long step, int samples) {
    samples = std::max(samples, 0);
    if (start == m_GridStart && step == m_GridStep && samples == m_Samples && m_Capacity > 0)
        return;
    m_GridStart = start;
    m_GridStep = step;
    m_Samples = samples;
    m_Capacity = 0;
    m_Filled = 0;
    m_Newest = -1;
    m_Words.clear();
    const int count = m_SliceCount;
    m_SliceCount = 0;
    SetSliceCount(count);
    MakeColumnTable();
    ColorAllRows(true);
}

int CWaterfallContext::Slot(int position) const {
    return Wrap(static_cast<long long>(m_Newest) - position, std::max(m_Capacity, 1));
}

void CWaterfallContext::AddSlice(const short* words, int n, int unitOffset) {
    if (m_Capacity <= 0 || m_Samples <= 0)
        return;
    m_Newest = (m_Newest + 1) % m_Capacity;
    m_Filled = std::min(m_Filled + 1, m_Capacity);
    short* slot = &m_Words[static_cast<size_t>(m_Newest) * static_cast<size_t>(m_Samples)];
    const int count = words ? std::clamp(n, 0, m_Samples) : 0;
    if (count > 0)
        std::memcpy(slot, words, static_cast<size_t>(count) * sizeof(short));
    if (unitOffset != 0)
        for (short* w = slot; w != slot + count; ++w)
            if (*w != kNoSample && *w != kLowestLevel)
                *w = static_cast<short>(*w - unitOffset);
    std::fill(slot + count, slot + m_Samples, kNoSample);
    ColorRow(m_Newest, true);
}

void CWaterfallContext::ClearSlices() {
    m_Filled = 0;
    m_Newest = -1;
    std::fill(m_Words.begin(), m_Words.end(), kNoSample);
}

short CWaterfallContext::SampleAt(int position, int index) const {
    if (position < 0 || position >= m_Filled || index < 0 || index >= m_Samples)
        return kNoSample;
    return m_Words[static_cast<size_t>(Slot(position)) * static_cast<size_t>(m_Samples) +
                   static_cast<size_t>(index)];
}

// ---- Layout and the tables

void CWaterfallContext::SetWindowRect(int l, int t, int r, int b) {
    m_Rect = CRect(l, t, r, b);
    m_LayoutRect = m_Rect;
    const int left = l + kLegendWidth + kLabelWidth;
    m_ImageRect = CRect(left, t, std::max(left, r + 1), std::max(t, b + 1));
    m_LegendRect = CRect(l, t, l + kLegendWidth, std::max(t, b + 1));
    UpdateRowsPerSlice();
    // The window alpha factor is read once per layout, as the 3D graph does.
    const int alpha = CBlendingBackGroundContext::GetWindowAlphaFactor();
    if (alpha != m_Alpha) {
        m_Alpha = alpha;
        MakeColorTable();
    }
    const int w = m_ImageRect.Width();
    if (w > 0 && m_Rows.width() != w)
        m_Rows = QImage();
    MakeColumnTable();
    ColorAllRows(true);
}

void CWaterfallContext::SetFrequencyWindow(double xMin, double xMax) {
    if (!std::isfinite(xMin) || !std::isfinite(xMax) || (xMin == m_XMin && xMax == m_XMax))
        return;
    m_XMin = xMin;
    m_XMax = xMax;
    MakeColumnTable();
    ColorAllRows(true);
}

void CWaterfallContext::MakeColumnTable() {
    const int w = m_ImageRect.Width();
    m_ColFirst.assign(static_cast<size_t>(std::max(w, 0)), -1);
    m_ColLast.assign(static_cast<size_t>(std::max(w, 0)), -1);
    if (w <= 0 || m_Samples <= 0 || m_GridStep <= 0 || m_XMax <= m_XMin)
        return;
    const double perColumn = (m_XMax - m_XMin) / w;
    const double step = static_cast<double>(m_GridStep);
    for (int c = 0; c < w; ++c) {
        const double f0 = m_XMin + c * perColumn - static_cast<double>(m_GridStart);
        const double f1 = f0 + perColumn;
        long long first = static_cast<long long>(std::ceil(f0 / step));
        long long last = static_cast<long long>(std::ceil(f1 / step)) - 1;
        // A column narrower than a step shows the sample at or after it.
        last = std::max(last, first);
        if (last < 0 || first >= m_Samples)
            continue;
        m_ColFirst[static_cast<size_t>(c)] = static_cast<int>(std::max(first, 0LL));
        m_ColLast[static_cast<size_t>(c)] =
            static_cast<int>(std::min<long long>(last, m_Samples - 1));
    }
}

void CWaterfallContext::ColorRow(int slot, bool peaks) {
    const int w = m_ImageRect.Width();
    if (w <= 0 || slot < 0 || slot >= m_Capacity)
        return;
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(m_Capacity);
    if (m_Rows.width() != w || m_Rows.height() != m_Capacity || m_Peaks.size() != size) {
        m_Rows = QImage(w, std::max(m_Capacity, 1), QImage::Format_RGB32);
        m_Peaks.assign(size, kNoSample);
        peaks = true;
    }
    short* peak = &m_Peaks[static_cast<size_t>(slot) * static_cast<size_t>(w)];
    if (peaks) {
        // The column shows the highest of its samples: a narrow carrier
        // stays visible however many samples share a pixel.
        const short* words = &m_Words[static_cast<size_t>(slot) * static_cast<size_t>(m_Samples)];
        const int* first = m_ColFirst.data();
        const int* last = m_ColLast.data();
        for (int c = 0; c < w; ++c) {
            const int i0 = first[c];
            short p = kNoSample;
            if (i0 >= 0) {
                p = words[i0];
                for (int i = i0 + 1; i <= last[c]; ++i)
                    p = std::max(p, words[i]);
            }
            peak[c] = p;
        }
    }
    auto* row = reinterpret_cast<std::uint32_t*>(m_Rows.scanLine(slot));
    const std::uint32_t none = NoSampleColor();
    const long long scale = m_IndexScale;
    const int lowest = m_WordMin;
    for (int c = 0; c < w; ++c) {
        const short p = peak[c];
        const long long index = ((static_cast<long long>(p) - lowest) * scale) >> 16;
        const std::uint32_t color =
            m_Table[static_cast<size_t>(std::clamp<long long>(index, 0, kColorTableSize - 1))];
        row[c] = p == kNoSample ? none : color;
    }
}

void CWaterfallContext::ColorAllRows(bool peaks) {
    for (int p = 0; p < m_Filled; ++p)
        ColorRow(Slot(p), peaks);
}

void CWaterfallContext::UpdateRowsPerSlice() {
    // One row per slice at least; taller pictures give each slice more rows.
    m_RowsPerSlice = std::max(1, m_ImageRect.Height() / std::max(m_SliceCount, 1));
}

int CWaterfallContext::GetVisibleSlices() const {
    return m_RowsPerSlice > 0 ? std::min(m_SliceCount, m_ImageRect.Height() / m_RowsPerSlice) : 0;
}

int CWaterfallContext::RowOfSlice(int position) const {
    return m_ImageRect.top + position * m_RowsPerSlice;
}

int CWaterfallContext::SliceAtRow(int y) const {
    if (y < m_ImageRect.top || m_RowsPerSlice <= 0)
        return -1;
    const int position = (y - m_ImageRect.top) / m_RowsPerSlice;
    return position < GetVisibleSlices() ? position : -1;
}

int CWaterfallContext::ColumnOfFrequency(double kHz) const {
    const int w = m_ImageRect.Width();
    if (w <= 0 || m_XMax <= m_XMin || kHz < m_XMin || kHz > m_XMax)
        return -1;
    const int c = static_cast<int>((kHz - m_XMin) * w / (m_XMax - m_XMin));
    return m_ImageRect.left + std::min(c, w - 1);
}

bool CWaterfallContext::FrequencyAtColumn(int x, int* kHz) const {
    const int w = m_ImageRect.Width();
    if (w <= 0 || x < m_ImageRect.left || x >= m_ImageRect.right || m_XMax <= m_XMin)
        return false;
    *kHz = static_cast<int>(std::lround(m_XMin + (x - m_ImageRect.left) * (m_XMax - m_XMin) / w));
    return true;
}

bool CWaterfallContext::HitSelectedSlice(int x, int y) const {
    if (!HasLayout() || !Inside(m_ImageRect, x, y) || m_SelectedSlice < 0 ||
        m_SelectedSlice >= GetVisibleSlices())
        return false;
    const int top = RowOfSlice(m_SelectedSlice);
    return y >= top - kHitDistance && y < top + m_RowsPerSlice + kHitDistance;
}

bool CWaterfallContext::HitChunkLine(int x, int y) const {
    if (!HasLayout() || !Inside(m_ImageRect, x, y))
        return false;
    const int column = ColumnOfFrequency(m_ChunkPosition);
    return column >= 0 && std::abs(x - column) <= kHitDistance;
}

bool CWaterfallContext::ReadoutAt(int x, int y, CString* text) const {
    const int position = SliceAtRow(y);
    int kHz = 0;
    if (position < 0 || position >= m_Filled || !FrequencyAtColumn(x, &kHz))
        return false;
    const int c = x - m_ImageRect.left;
    const int i0 = m_ColFirst[static_cast<size_t>(c)];
    short peak = kNoSample;
    if (i0 >= 0)
        for (int i = i0; i <= m_ColLast[static_cast<size_t>(c)]; ++i)
            peak = std::max(peak, SampleAt(position, i));
    CString frequency;
    if (kHz >= 1000)
        frequency.Format("%.7gMHz", kHz * 0.001);
    else
        frequency.Format("%dKHz", kHz);
    CString level;
    if (peak == kNoSample)
        level = "---";
    else
        // An absolute level: dBm, or dBuV in a unit with an offset.
        level.Format(m_UnitOffset == 0 ? "%.2fdBm" : "%.2fdBuV",
                     (peak + m_UnitOffset) / kWordsPerDb);
    *text = frequency + "  " + TimeText(position * m_SlicePeriod) + "  " + level;
    return true;
}

void CWaterfallContext::AddBand(const CBlendObject* band) {
    if (band && std::find(m_Bands.begin(), m_Bands.end(), band) == m_Bands.end())
        m_Bands.push_back(band);
}

void CWaterfallContext::SetReadoutPoint(bool on, int x, int y) {
    m_Readout = on;
    m_ReadoutPoint = CPoint(x, y);
}

// ---- Drawing

void CWaterfallContext::ComposeInto(QImage& out, int ox, int oy) {
    const int w = m_ImageRect.Width();
    const int h = m_ImageRect.Height();
    // The part of the picture that lies on out.
    const int x0 = std::max(0, -ox);
    const int x1 = std::min(w, out.width() - ox);
    const int y0 = std::max(0, -oy);
    const int y1 = std::min(h, out.height() - oy);
    if (x0 >= x1 || y0 >= y1)
        return;
    const size_t n = static_cast<size_t>(x1 - x0);
    const std::uint32_t none = NoSampleColor();
    const int shown = std::min(GetVisibleSlices(), m_Filled);
    const bool rows = !m_Rows.isNull() && m_Rows.width() == w;
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(out.scanLine(oy + y)) + ox + x0;
        const int position = y / m_RowsPerSlice;
        if (rows && position < shown)
            std::memcpy(
                line,
                reinterpret_cast<const std::uint32_t*>(m_Rows.constScanLine(Slot(position))) + x0,
                n * 4);
        else
            std::fill(line, line + n, none);
    }
    // Channel bands as translucent columns over the slices.
    for (const CBlendObject* band : m_Bands) {
        if (!band->GetRedrawFlag())
            continue;
        const int b0 = std::clamp(
            static_cast<int>((static_cast<long long>(band->GetLeftRatio()) * w) >> 16), x0, x1);
        const int b1 = std::clamp(
            static_cast<int>((static_cast<long long>(band->GetRightRatio()) * w) >> 16), x0, x1);
        const COLORREF color = band->GetColor();
        for (int y = y0; y < y1 && b0 < b1; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(out.scanLine(oy + y)) + ox;
            for (int x = b0; x < b1; ++x)
                line[x] = Pixel(AlphaBlendFunction(color, Color(line[x]), m_Alpha));
        }
    }
}

void CWaterfallContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC)
        return;
    if (m_Rect != m_LayoutRect)
        SetWindowRect(m_Rect.left, m_Rect.top, m_Rect.right, m_Rect.bottom);
    // The picture covers the rest: only the legend's side is filled.
    if (m_pDrawObject)
        pDC->FillSolidRect(m_Rect.left, m_Rect.top, m_ImageRect.left - m_Rect.left,
                           m_Rect.Height() + 1, m_pDrawObject->GetBackGroundColor());
    if (!HasLayout())
        return;
    // Straight into an image drawn on pixel for pixel; through a picture of
    // its own and a blit into anything else (a printer's scaled page, a
    // screen with more device pixels: each sample keeps its logical pixel).
    QImage* target = pDC->GetImage();
    if (target && target->format() == QImage::Format_RGB32 && pDC->GetMapMode() == MM_TEXT &&
        pDC->GetDevicePixelRatio() == 1.0) {
        ComposeInto(*target, m_ImageRect.left, m_ImageRect.top);
    } else {
        if (m_Picture.width() != m_ImageRect.Width() || m_Picture.height() != m_ImageRect.Height())
            m_Picture = QImage(m_ImageRect.Width(), m_ImageRect.Height(), QImage::Format_RGB32);
        ComposeInto(m_Picture, 0, 0);
        CDC source(&m_Picture);
        pDC->BitBlt(m_ImageRect.left, m_ImageRect.top, m_ImageRect.Width(), m_ImageRect.Height(),
                    &source, 0, 0, SRCCOPY);
    }
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const UINT oldAlign = pDC->SetTextAlign(TA_LEFT | TA_TOP);
    DrawLegend(pDC);
    DrawMarks(pDC);
    DrawReadout(pDC);
    pDC->SetTextAlign(oldAlign);
    pDC->SetBkMode(oldMode);
}

void CWaterfallContext::DrawLegend(CDC* pDC) {
    const int h = m_LegendRect.Height();
    if (h <= 0)
        return;
    // Twenty steps, as the 3D graph's legend.
    for (int i = 0; i < kLegendBands; ++i) {
        int y0 = 0, y1 = 0;
        LegendScale::StepRows(h, i, &y0, &y1);
        pDC->FillSolidRect(m_LegendRect.left, m_LegendRect.top + y0, m_LegendRect.Width(), y1 - y0,
                           Color(m_Steps[static_cast<size_t>(i)]));
    }
    // Level labels at the top, every quarter and the bottom.
    const int x = m_LegendRect.right + kTextGap;
    for (int k = 0; k < kLegendLabels; ++k) {
        const double level =
            m_LevelMax - (m_LevelMax - m_LevelMin) * k / static_cast<double>(kLegendLabels - 1);
        CString label;
        label.Format("%g", std::round(level * 100.0) / 100.0);
        const int th = pDC->GetTextExtent(label).cy;
        int y = m_LegendRect.top + (h - 1) * k / (kLegendLabels - 1) - th / 2;
        y = std::clamp(y, static_cast<int>(m_LegendRect.top),
                       static_cast<int>(m_LegendRect.bottom) - th);
        pDC->TextOut(x, y, label);
    }
}

void CWaterfallContext::DrawMarks(CDC* pDC) {
    if (m_SliceMark && m_SelectedSlice >= 0 && m_SelectedSlice < GetVisibleSlices()) {
        // Lines above and below the slice's rows, ticks at both ends.
        const int top = RowOfSlice(m_SelectedSlice);
        const int bottom = top + m_RowsPerSlice;
        const int l = m_ImageRect.left;
        const int r = m_ImageRect.right;
        if (top > m_ImageRect.top) {
            pDC->MoveTo(l, top - 1);
            pDC->LineTo(r, top - 1);
        }
        if (bottom < m_ImageRect.bottom) {
            pDC->MoveTo(l, bottom);
            pDC->LineTo(r, bottom);
        }
        pDC->MoveTo(l - kMarkTick, top);
        pDC->LineTo(l, top);
        CString label;
        label.Format("SLICE %d", m_SelectedSlice);
        const CSize size = pDC->GetTextExtent(label);
        const int y = top >= m_ImageRect.top + size.cy + kTextGap ? top - size.cy - kTextGap
                                                                  : bottom + kTextGap;
        // At the left: the read-out takes the top right corner.
        pDC->TextOut(l + kTextGap, y, label);
    }
    const int column = m_ChunkMark ? ColumnOfFrequency(m_ChunkPosition) : -1;
    if (column >= 0) {
        pDC->MoveTo(column, m_ImageRect.top);
        pDC->LineTo(column, m_ImageRect.bottom);
        CString label;
        label.Format("CHUNK %gMHz", m_ChunkPosition * 0.001);
        const CSize size = pDC->GetTextExtent(label);
        const int x = column + kTextGap + size.cx < m_ImageRect.right ? column + kTextGap
                                                                      : column - kTextGap - size.cx;
        pDC->TextOut(x, m_ImageRect.bottom - size.cy - kTextGap, label);
    }
}

void CWaterfallContext::DrawReadout(CDC* pDC) {
    CString text;
    if (!m_Readout || !ReadoutAt(m_ReadoutPoint.x, m_ReadoutPoint.y, &text))
        return;
    // On a box of the background colour at the picture's top right.
    const CSize size = pDC->GetTextExtent(text);
    const int x = std::max(static_cast<int>(m_ImageRect.right) - size.cx - 2 * kReadoutInset,
                           static_cast<int>(m_ImageRect.left));
    const int y = m_ImageRect.top + kReadoutInset;
    pDC->FillSolidRect(x - kTextGap, y, size.cx + 2 * kTextGap, size.cy,
                       m_pDrawObject ? m_pDrawObject->GetBackGroundColor() : RGB(0, 0, 0));
    pDC->TextOut(x, y, text);
}
