// The trace of a graph: point mapping per pixel column and polylines.
#include "draw/datalinecontext.h"

#include "platform/dc.h"

namespace {
// The peak mark: an upward triangle this many pixels wide on each side and high.
constexpr int kPeakMarkHalfWidth = 3;
constexpr int kPeakMarkHeight = 6;
} // namespace

CDataLineContext::CDataLineContext() = default;
CDataLineContext::~CDataLineContext() = default;

WORD CDataLineContext::GetTypeCode() {
    return DrawType::kDataLineContext;
}

CString CDataLineContext::GetClassName() {
    return "CDataLineContext";
}

void CDataLineContext::SetWindow(int xMin, int xMax, double yMax, double yMin) {
    m_XMin = xMin;
    m_XMax = xMax;
    m_YMax = yMax;
    m_YMin = yMin;
}

double CDataLineContext::XRatio(double x) const {
    if (x < m_XMin) {
        return 0.0;
    }
    if (x <= m_XMax) {
        // A window of no width puts everything at its left edge.
        return m_XMax > m_XMin ? (x - m_XMin) / (static_cast<double>(m_XMax) - m_XMin) : 0.0;
    }
    return 1.0;
}

void CDataLineContext::MakePoints(SIZE* factors, const RECT* rect) {
    int fx = 0, fy = 0;
    CTraceStore::MakePoints(rect ? *rect : m_Rect, m_XMin, m_XMax, m_YMax, m_YMin, &fx, &fy);
    if (factors) {
        factors->cx = fx;
        factors->cy = fy;
    }
}

BOOL CDataLineContext::ExceedsLevel(double level) {
    return Exceeds(level, m_XMin, m_XMax) ? TRUE : FALSE;
}

void CDataLineContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    CDrawContext::Draw(pDC, parent, reserved);
    if (!pDC || (m_XMin == 0 && m_XMax == 0)) {
        return;
    }
    SIZE factors{0, 0};
    MakePoints(&factors, nullptr);
    if (factors.cx == 0 || factors.cy == 0) {
        return;
    }
    const int count = GetEnvelopeCount();
    if (count < 2) {
        return;
    }
    int k = 0;
    for (CTraceStore* s = CTraceStore::GetNext(); s && k < kMaxChainLength; s = s->GetNext(), ++k) {
        pDC->Polyline(s->GetOwnPoints(), count);
    }
    pDC->Polyline(GetEnvelopePoints(), count);

    if (m_PeakMarkFlag) {
        POINT p{0, 0};
        if (PointOfX(Peak(m_XMin, m_XMax), &p)) {
            const POINT mark[] = {{p.x, p.y},
                                  {p.x + kPeakMarkHalfWidth, p.y + kPeakMarkHeight},
                                  {p.x - kPeakMarkHalfWidth, p.y + kPeakMarkHeight},
                                  {p.x, p.y}};
            pDC->Polyline(mark, 4);
        }
    }
}

BOOL CDataLineContext::WriteSetting(CString section) {
    const int store = SaveState(section);
    const BOOL element = CDrawContext::WriteSetting(section);
    return store == 1 && element ? TRUE : FALSE;
}

BOOL CDataLineContext::ReadSetting(CString section) {
    const int store = LoadState(section);
    const BOOL element = CDrawContext::ReadSetting(section);
    return store == 1 && element ? TRUE : FALSE;
}
