// The normal window's sweep history: a waterfall pane under the spectrum that
// keeps the last sweeps of the data line, one pixel row each, as many as the
// pane is high. A new grid (start, step, points) empties it.
#include "modes/normalhistory.h"

#include "modes/normalanalysis.h"
#include "platform/dc.h"
#include "platform/profile.h"

#include <QWidget>

#include <algorithm>

namespace {
constexpr const char* kFrameName = "HistoryFrame";
constexpr const char* kShownKey = "SweepHistory";
constexpr const char* kHeightKey = "HistoryHeight";
constexpr COLORREF kDarkBackground = RGB(0, 0, 40);
constexpr COLORREF kLabels = RGB(220, 220, 220);
// A history pane seen for the first time takes this share of the window.
constexpr int kDefaultShare = 3;
} // namespace

CNormalHistory::CNormalHistory() : frame(0, kFrameName) {
    intf.SetFrameObject(&frame);
}

CWaterfallInterface& CNormalAnalysis::GetHistoryInterface() {
    return m_history->intf;
}

void CNormalAnalysis::ReadHistoryProfile() {
    // Only the normal window has the pane; the kinds built on it keep their
    // own panes.
    if (GetAnalysisType() != 1)
        return;
    const CString section = GetProfileSection();
    CDrawObject& frame = m_history->frame;
    frame.SetIDString(section + "_" + kFrameName);
    frame.LoadProfile();
    if (frame.TitleComparison("NON")) {
        frame.SetTitleString(kFrameName);
        frame.SetUpdateBkColor(kDarkBackground);
        frame.SetUpdateTextColor(kLabels);
        frame.SetUpdateFlag();
        frame.UpdateDrawObjectNow();
    }
    m_history->intf.SetOwner(this);
    m_history->intf.SetBeforeDraw([this] { SyncHistory(); });
    m_history->height = std::max(GetProfileInt(section, kHeightKey, 0), 0);
    ShowHistory(GetProfileInt(section, kShownKey, 0) != 0);
}

void CNormalAnalysis::WriteHistoryProfile() {
    if (GetAnalysisType() != 1)
        return;
    const CString section = GetProfileSection();
    WriteProfileInt(section, kShownKey, m_historyShown ? 1 : 0);
    if (m_history->pane && m_history->pane->isVisible())
        m_history->height = m_history->pane->height();
    WriteProfileInt(section, kHeightKey, m_history->height);
    m_history->frame.WriteProfile();
}

QWidget* CNormalAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    const int h = parent ? parent->height() : kImageHeight;
    const int w = parent ? parent->width() : kImageWidth;
    if (m_history->height <= 0)
        m_history->height = h / kDefaultShare;
    auto* splitter = new CSplitterWnd;
    splitter->CreateStatic(parent, 2, 1);
    auto* pane = new CPaneView;
    splitter->SetPane(0, 0, view, SIZE{w, std::max(h - m_history->height, 1)});
    splitter->SetPane(1, 0, pane, SIZE{w, m_history->height});
    splitter->SetRowInfo(1, m_history->height, CNormalHistory::kMinPaneHeight);
    pane->setVisible(m_historyShown);
    m_history->intf.SetViewWindow(pane);
    m_history->splitter = splitter;
    m_history->pane = pane;
    return splitter;
}

void CNormalAnalysis::ShowHistory(bool show) {
    if (show && !m_historyShown)
        m_history->hasLast = false;
    m_historyShown = show;
    if (m_history->pane)
        m_history->pane->setVisible(show);
}

void CNormalAnalysis::SyncHistory() {
    if (!m_historyShown)
        return;
    CWaterfallContext& fall = m_history->intf.GetWaterfall();
    fall.SetFrequencyWindow(m_graph.xMin, m_graph.xMax);
    // The graph's levels are in the shown unit; the sweeps hold dBm words.
    fall.SetLevelRange(m_graph.yMin, m_graph.yMax, CTraceStore::UnitOffset(m_traces[0].GetUnit()));
}

void CNormalAnalysis::RecordSweep() {
    if (!m_historyShown)
        return;
    const CTraceStore& line = m_traces[0];
    CWaterfallContext& fall = m_history->intf.GetWaterfall();
    // A new grid starts the history over.
    fall.SetGrid(line.GetStart(), line.GetStep(), static_cast<int>(line.GetPoints()));
    // One row per sweep: the pane's picture height is the number kept.
    const CRect client = m_history->intf.GetClientRect();
    if (!client.IsRectEmpty()) {
        m_history->intf.Layout(client);
        fall.SetSliceCount(std::max(fall.GetImageRect().Height(), 1));
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_history->hasLast)
        fall.SetSlicePeriod(static_cast<double>(
            std::chrono::duration_cast<std::chrono::microseconds>(now - m_history->last).count()));
    m_history->last = now;
    m_history->hasLast = true;
    fall.AddSlice(line.GetData(), line.GetData() ? static_cast<int>(line.GetPoints()) : 0,
                  CTraceStore::UnitOffset(line.GetUnit()));
    m_history->intf.Redraw();
}

void CNormalAnalysis::DrawWithHistory(CDC* dc, const CRect& rect) {
    int top = 3;
    int bottom = 1;
    if (m_history->splitter && m_history->pane && m_history->pane->isVisible()) {
        m_history->splitter->GetRowInfo(0, &top, nullptr);
        m_history->splitter->GetRowInfo(1, &bottom, nullptr);
    }
    if (top <= 0 || bottom <= 0) {
        top = 3;
        bottom = 1;
    }
    // 16.16 share of the rectangle for the graph, the rest for the history.
    const long long share = (static_cast<long long>(top) << 16) / (top + bottom);
    const int split = rect.top + static_cast<int>(((rect.bottom - rect.top + 1) * share) >> 16);
    m_graphIntf.Draw(dc, CRect(rect.left, rect.top, rect.right, split));
    // A picture of another size shows the same sweeps: more rows each, or
    // the newest ones.
    m_history->intf.Draw(dc, CRect(rect.left, split, rect.right, rect.bottom));
    // Both panes lay out again in their own size at the next paint.
    m_graphIntf.Redraw();
    m_history->intf.Redraw();
}
