// The common core of the spectrogram windows: the ring of slice lines, the
// chunk line, the three panes, the slice and chunk commands, the stop and
// restart of the device task, and the keys and CSV columns of the ring.
#include "modes/spectrogramanalysis.h"

#include "analysis/csvfile.h"
#include "analysis/framelink.h"
#include "device/TorvelAPI.h"
#include "lib/numentry.h"
#include "lib/profilevalues.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "modes/keytables.h"
#include "modes/paneview.h"
#include "platform/profile.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <thread>

namespace {
constexpr int kStrStart = 13;
constexpr int kStrStop = 14;
constexpr int kStrSliceTitle = 45;
constexpr int kStrChunkTitle = 46;
constexpr int kCmdAttenuation = 17;
constexpr int kCmdReferenceLevel = 18;
constexpr int kCmdSliceEntry = 201;
constexpr int kCmdChunkEntry = 202;
constexpr int kCmdSlice = 203;
constexpr int kCmdChunk = 204;
constexpr int kCmdView = 208;
constexpr const char* kViewKey = "WaterfallView";
constexpr const char* k3DSection = "3D_GRAPH_INTF";
// The chunk graph's own profile entries sit in a section named after the
// window's with this suffix.
constexpr const char* kChunkSuffix = "_CHUNK";

const char* text(int index) {
    const char* s = GetTorvelString(index);
    return s ? s : "";
}

int Wrap(int value, int count) {
    const int m = value % count;
    return m < 0 ? m + count : m;
}
} // namespace

CSpectrogramAnalysis::CSpectrogramAnalysis(int sliceCount, CCommandEntry* frameList,
                                           CCommandEntry* buttonList, CFrameLink* link)
    : CNormalAnalysis(frameList, buttonList, link),
      m_sliceCount(std::clamp(sliceCount, 1, C3DGraphContext::kRingSize)),
      m_slices(std::make_unique<CDataLineContext[]>(static_cast<size_t>(m_sliceCount))),
      m_chunkSamples(static_cast<size_t>(m_sliceCount), kNoSample) {
    m_3dIntf.SetOwner(this);
    m_3dIntf.Set3DOwner(this);
    m_3dIntf.SetSliceCount(m_sliceCount);
    m_fallIntf.SetOwner(this);
    m_fallIntf.SetPeer(&m_3dIntf, this);
    m_fallIntf.SetFrameObject(&m_3dIntf.GetFrameObject());
    m_fallIntf.SetBeforeDraw([this] {
        TakeInSlices();
        SyncWaterfall();
    });
    m_3dIntf.SetBeforeDraw([this] { TakeInSlices(); });
    m_chunkIntf.SetBeforeDraw([this] { TakeInSlices(); });
    m_fallIntf.GetWaterfall().SetSliceCount(m_sliceCount);
    m_chunkIntf.SetOwner(this);
    m_chunkLine.SetRedrawFlag(1);
    m_chunkLine.SetDrawObject(&m_traceObjects[0]);
    m_chunkIntf.GetGraph().AddOverlay(&m_chunkLine);
    for (int i = 0; i < m_sliceCount; ++i)
        m_slices[static_cast<size_t>(i)].SetDrawObject(&m_traceObjects[0]);
}

CSpectrogramAnalysis::~CSpectrogramAnalysis() = default;

CDataLineContext& CSpectrogramAnalysis::GetSliceLine(int i) {
    TakeInSlices();
    return RingSlice(i);
}

CDataLineContext& CSpectrogramAnalysis::RingSlice(int i) {
    return m_slices[static_cast<size_t>(Wrap(i, m_sliceCount))];
}

int CSpectrogramAnalysis::SliceIndexBack(int k) const {
    return Wrap(m_writePosition - 1 - k, m_sliceCount);
}

int CSpectrogramAnalysis::GetChunkFrequency() const {
    const CTraceStore& line = m_traces[0];
    return static_cast<int>(line.GetStart() + static_cast<long long>(m_chunkPosition) *
                                                  static_cast<long long>(line.GetStep()));
}

void CSpectrogramAnalysis::ForEachLevelStore(const LevelStoreVisitor& visit) {
    // A kept capture is taken in the unit it came in.
    TakeInSlices();
    CNormalAnalysis::ForEachLevelStore(visit);
    for (int i = 0; i < m_sliceCount; ++i)
        visit(m_slices[static_cast<size_t>(i)], -1);
    visit(m_chunkLine, GetChunkFrequency());
}

void CSpectrogramAnalysis::LevelsRemapped() {
    RemapRing();
    RefillWaterfall();
    m_3dIntf.Redraw();
    m_fallIntf.Redraw();
}

void CSpectrogramAnalysis::SetRingUnit() {
    // The traces show the slices' words as they are: the slices store theirs
    // in the unit the traces show.
    for (int i = 0; i < m_sliceCount; ++i)
        m_slices[static_cast<size_t>(i)].SetUnit(static_cast<BYTE>(m_unit));
    m_chunkLine.SetUnit(static_cast<BYTE>(m_unit));
}

// ---- The ring

namespace {
void FillSlice(CDataLineContext& slice, const short* words, int n) {
    // A slice is a whole new spectrum: it never restarts like a hold trace.
    slice.SetInitializedFlag(0);
    slice.StoreBlock(words, n, 0, TRUE);
}
} // namespace

void CSpectrogramAnalysis::StoreSlice(const short* words, int n) {
    CDataLineContext& slice = m_slices[static_cast<size_t>(m_writePosition)];
    FillSlice(slice, words, n);
    m_3dIntf.GetGraph().AddSlice(&slice, 0);
    AddToWaterfall(slice);
    m_writePosition = (m_writePosition + 1) % m_sliceCount;
}

void CSpectrogramAnalysis::StoreCapture(int blocks, int stride, int first, int count) {
    if (blocks != m_sliceCount) {
        TakeInSlices();
        for (int s = 0; s < blocks; ++s)
            StoreSlice(m_receiveBuffer.data() + static_cast<size_t>(s) * stride + first, count);
        return;
    }
    // Every slice is replaced, so a capture kept before goes unseen. The
    // buffers trade places: the next receipt reuses the old one.
    m_heldCapture.swap(m_receiveBuffer);
    m_heldBlocks = blocks;
    m_heldStride = stride;
    m_heldFirst = first;
    m_heldCount = count;
}

void CSpectrogramAnalysis::TakeInSlices() {
    if (m_heldBlocks == 0)
        return;
    const int blocks = m_heldBlocks;
    m_heldBlocks = 0;
    for (int s = 0; s < blocks; ++s)
        StoreSlice(m_heldCapture.data() + static_cast<size_t>(s) * m_heldStride + m_heldFirst,
                   m_heldCount);
    RebuildChunkLine();
}

void CSpectrogramAnalysis::ShowSliceLine(int i) {
    CDataLineContext& slice = RingSlice(i);
    if (m_heldBlocks != 0) {
        // The kept capture's block 0 goes to the write position; this slice
        // line takes its block now (and again, the same, when the capture is
        // taken in).
        const int block = Wrap(i - m_writePosition, m_sliceCount);
        FillSlice(slice,
                  m_heldCapture.data() + static_cast<size_t>(block) * m_heldStride + m_heldFirst,
                  m_heldCount);
    }
    if (!slice.GetData())
        return;
    for (CDataLineContext& trace : m_traces) {
        // A trace due to start over does so with this slice, which it then
        // shows at once: the spectrum of a single capture is never blank.
        if (trace.GetInitializedFlag())
            trace.StoreBlock(slice.GetData(), static_cast<int>(slice.GetPoints()), 0, FALSE);
        trace.StoreBlock(slice.GetData(), static_cast<int>(slice.GetPoints()), 0, FALSE);
    }
}

void CSpectrogramAnalysis::RebuildChunkLine() {
    const int fc = GetChunkFrequency();
    const bool oldestFirst = ChunkOldestFirst();
    for (int j = 0; j < m_sliceCount; ++j)
        m_chunkSamples[static_cast<size_t>(j)] =
            GetSliceBack(oldestFirst ? m_sliceCount - 1 - j : j).Sample(fc);
    m_chunkLine.SetInitializedFlag(0);
    m_chunkLine.StoreBlock(m_chunkSamples.data(), m_sliceCount, 0, FALSE);
}

void CSpectrogramAnalysis::SetSliceWindows() {
    for (int i = 0; i < m_sliceCount; ++i)
        m_slices[static_cast<size_t>(i)].SetWindow(static_cast<int>(m_graph.xMin),
                                                   static_cast<int>(m_graph.xMax), m_graph.yMax,
                                                   m_graph.yMin);
}

void CSpectrogramAnalysis::ResetRing(int start, int step, int points) {
    // A chunk position beyond the new grid would show an empty chunk line:
    // it comes back to the middle of the band.
    if (points > 0 && m_chunkPosition >= points)
        m_chunkPosition = points / 2;
    C3DGraphContext& graph = m_3dIntf.GetGraph();
    graph.ClearSlices();
    for (int i = 0; i < m_sliceCount; ++i)
        m_slices[static_cast<size_t>(i)].Configure(
            static_cast<DWORD>(start), static_cast<DWORD>(step), static_cast<DWORD>(points));
    m_writePosition = 0;
    for (int i = 0; i < m_sliceCount; ++i)
        graph.AddSlice(&m_slices[static_cast<size_t>(i)], 0);
    // The waterfall keeps its slices unless the grid is a new one.
    m_fallIntf.GetWaterfall().SetGrid(start, step, points);
}

void CSpectrogramAnalysis::RemapRing() {
    C3DGraphContext& graph = m_3dIntf.GetGraph();
    graph.ClearSlices();
    for (int k = m_sliceCount - 1; k >= 0; --k)
        graph.AddSlice(&GetSliceBack(k), 0);
}

void CSpectrogramAnalysis::SetChunkAxis(BOOL reset) {
    // The grid is new with reset, or when the time of a slice changed.
    if (reset || m_chunkLine.GetStep() != static_cast<DWORD>(ChunkStep()))
        m_chunkLine.Configure(0, static_cast<DWORD>(ChunkStep()), static_cast<DWORD>(m_sliceCount));
    CNormalGraphContext& chunk = m_chunkIntf.GetGraph();
    SetLevelScale(chunk, m_graph.text[0]);
    *chunk.GetCornerText(1) = CString();
    // The 3D graph's levels are the same levels.
    m_3dIntf.GetGraph().SetLegendNote(UncalibratedNote());
    *chunk.GetCornerText(2) = CString(text(kStrStart)) + ChunkFirstLabel();
    *chunk.GetCornerText(3) = CString(text(kStrStop)) + ChunkLastLabel();
    m_chunkIntf.SetDivision(m_graph.xDivisions, m_graph.yDivisions);
    chunk.GetFrame().GetFrame().SetReferenceLine(m_referencePosition);
    const double last = static_cast<double>(m_chunkLine.GetStart()) +
                        static_cast<double>(m_chunkLine.GetPoints()) * m_chunkLine.GetStep();
    chunk.SetScale(0.0, last, m_graph.yMin, m_graph.yMax);
    chunk.SetRedrawFlag(1);
}

void CSpectrogramAnalysis::ConfigureGraphs(BOOL reset, int step, int first, int points) {
    // A kept capture comes in on the grid and chunk it was measured for; the
    // chunk line it rebuilds is then reset with the ring.
    TakeInSlices();
    SetGraphTexts(step);
    // The task-running mark stays: a task that runs on is still taken in.
    m_sweepPosition = 0;
    SetChunkAxis(reset);
    if (reset && step != 0) {
        for (CDataLineContext& trace : m_traces)
            trace.Configure(static_cast<DWORD>(first), static_cast<DWORD>(step),
                            static_cast<DWORD>(points));
    }
    m_graph.redraw = true;
    UpdateGraph();
    if (reset && step != 0)
        ReplaceMarkers();
    SetSliceWindows();
    if (reset && step != 0)
        ResetRing(first, step, points);
    else
        RemapRing();
}

int CSpectrogramAnalysis::ReceiveAll() {
    const int count = std::max(DeviceDataCount(), 0);
    m_receiveBuffer.resize(static_cast<size_t>(std::max(count, 1)));
    if (count > 0)
        DeviceReceiveData(m_receiveBuffer.data(), count);
    return count;
}

void CSpectrogramAnalysis::FinishIntake(bool newSlices) {
    if (newSlices) {
        m_graph.xMin = m_start;
        m_graph.xMax = m_stop;
        UpdateGraph();
        OfferPeaks();
    }
    // A kept capture rebuilds the chunk line when it is taken in.
    if (m_heldBlocks == 0)
        RebuildChunkLine();
    if (LoggingStep() && m_logging.m_RefreshFlag)
        for (CDataLineContext& trace : m_traces)
            trace.SetInitializedFlag(1);
    NoteDataTaken();
}

void CSpectrogramAnalysis::ApplyOffsets(short* words, int n, long long start,
                                        long long step) const {
    AddOffsets(words, n, start, step, m_offsetTable.data());
}

void CSpectrogramAnalysis::SetViewMode(int mode) {
    m_viewMode = mode ? 1 : 0;
    if (m_3dView) {
        if (m_viewMode)
            m_fallIntf.SetViewWindow(m_3dView.data());
        else
            m_3dIntf.SetViewWindow(m_3dView.data());
    }
    SyncWaterfall();
    m_3dIntf.Redraw();
    m_fallIntf.Redraw();
}

void CSpectrogramAnalysis::SyncWaterfall() {
    CWaterfallContext& fall = m_fallIntf.GetWaterfall();
    const CDataLineContext& slice = RingSlice(0);
    fall.SetFrequencyWindow(slice.GetXMin(), slice.GetXMax());
    // The graph's levels are in the shown unit; the slices hold dBm words.
    fall.SetLevelRange(m_graph.yMin, m_graph.yMax, CTraceStore::UnitOffset(m_traces[0].GetUnit()));
    fall.SetSlicePeriod(ChunkStep());
}

void CSpectrogramAnalysis::RefillWaterfall() {
    CWaterfallContext& fall = m_fallIntf.GetWaterfall();
    const CDataLineContext& first = GetSliceLine(0);
    fall.SetGrid(first.GetStart(), first.GetStep(), static_cast<int>(first.GetPoints()));
    fall.ClearSlices();
    for (int k = m_sliceCount - 1; k >= 0; --k)
        AddToWaterfall(GetSliceBack(k));
}

void CSpectrogramAnalysis::AddToWaterfall(const CDataLineContext& slice) {
    CWaterfallContext& fall = m_fallIntf.GetWaterfall();
    const short* data = slice.GetData();
    const int n = data ? static_cast<int>(slice.GetPoints()) : 0;
    fall.AddSlice(data, n, CTraceStore::UnitOffset(slice.GetUnit()));
}

void CSpectrogramAnalysis::HideHighlights() {
    m_3dIntf.SetHighlightedFrequency(GetChunkFrequency() - kHidden);
    m_3dIntf.SetHighlightedSlice(m_slicePosition - kHidden);
    m_3dIntf.Redraw();
}

int CSpectrogramAnalysis::SetSlicePosition(int value) {
    m_slicePosition = std::clamp(value, 0, m_sliceCount - 1);
    const CDataLineContext& slice = GetSliceLine(m_writePosition - m_slicePosition - 1);
    m_traces[0].CopyFrom(slice);
    return m_slicePosition;
}

void CSpectrogramAnalysis::SetChunkFrequency(long long kHz) {
    const CTraceStore& line = m_traces[0];
    const long long step = line.GetStep();
    if (step <= 0)
        return;
    const long long start = line.GetStart();
    // The chunk is held to the grid's last point: the word after it belongs
    // to no point and is never measured.
    long long f = (kHz + step / 2) / step * step;
    const long long points = std::max<long long>(line.GetPoints(), 1);
    f = std::clamp(f, start, start + step * (points - 1));
    m_chunkPosition = static_cast<int>((f - start) / step);
    RebuildChunkLine();
}

// ---- Tasks

void CSpectrogramAnalysis::WaitAfterTerminate() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kTerminateWaitMs));
}

int CSpectrogramAnalysis::StartWithRetry(const std::function<int()>& start) {
    const int result = start();
    if (result != 0)
        return result;
    // The device may still hold a task of this window: end it and try once more.
    DeviceTerminate();
    WaitAfterTerminate();
    return start();
}

void CSpectrogramAnalysis::StopTask() {
    if (TerminateOwnTask()) {
        m_taskTerminated = 1;
        WaitAfterTerminate();
    } else {
        m_taskTerminated = 0;
    }
}

void CSpectrogramAnalysis::StopTaskForNewGrid() {
    const int terminated = m_taskTerminated;
    StopTask();
    if (terminated)
        m_taskTerminated = 1;
}

void CSpectrogramAnalysis::RestartTask() {
    if (!m_taskTerminated)
        return;
    m_taskTerminated = 0;
    RestartOwnTask();
}

void CSpectrogramAnalysis::Stop() {
    TerminateOwnTask();
    m_analyzeFlag = 0;
    PostScheduleNext(m_id);
}

// ---- Commands

int CSpectrogramAnalysis::ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) {
    TakeInSlices();
    const int attenuation = m_attenuation;
    const int result = CNormalAnalysis::ExecuteCommand(action, p1, p2, p3, p4, p5);
    if ((action == kCmdAttenuation || action == kCmdReferenceLevel) &&
        m_attenuation != attenuation) {
        // The slices in the ring stay; the task measures with the new
        // attenuation from its next slice on.
        StopTask();
        return kCommandRedraw;
    }
    if (result != kCommandNotHandled)
        return result;
    switch (action) {
    case kCmdSliceEntry: {
        StopTask();
        const int value = NumEntryINT(m_slicePosition, "Unit", text(kStrSliceTitle));
        if (value >= 0)
            SetSlicePosition(value);
        return kCommandRedraw;
    }
    case kCmdChunkEntry: {
        StopTask();
        const double mhz = NumEntryDOUBLE(GetChunkFrequency() * 0.001, "MHz", text(kStrChunkTitle));
        if (mhz == DBL_MAX || !std::isfinite(mhz))
            return kCommandRedraw;
        // Held to the int range before the conversion; the grid limits it further.
        SetChunkFrequency(static_cast<long long>(std::clamp(mhz * 1000, -2e9, 2e9)));
        return kCommandRedraw;
    }
    case kCmdSlice:
        if (p1 == -1)
            return kCommandDone;
        m_3dIntf.SetHighlightedSlice(SetSlicePosition(p1) - kHidden);
        return kCommandDone;
    case kCmdChunk:
        SetChunkFrequency(p1);
        m_3dIntf.SetHighlightedFrequency(GetChunkFrequency() - kHidden);
        return kCommandDone;
    case kCmdView:
        // 0 the 3D graph, 1 the waterfall, 2 the other one.
        if (p1 == 0 || p1 == 1)
            SetViewMode(p1);
        else if (p1 == 2)
            SetViewMode(!m_viewMode);
        return kCommandDone;
    default:
        return kCommandNotHandled;
    }
}

int CSpectrogramAnalysis::GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) {
    if (action == kCmdView)
        return (p1 == 2 ? 1 : p1) == m_viewMode ? 1 : 0;
    return CNormalAnalysis::GetCommandState(action, p1, p2, p3, p4, p5);
}

void CSpectrogramAnalysis::Run3DGraphCommand(int action, int value) {
    const int result = ExecuteCommand(action, value, 0, 0, 0, 0);
    if (result > 0)
        Reconfigure(result == kCommandReset);
    UpdateView();
    if (m_link)
        m_link->RefreshCommandStates();
}

// ---- Drawing

void CSpectrogramAnalysis::UpdateView() {
    CNormalAnalysis::UpdateView();
    SyncWaterfall();
    m_3dIntf.Redraw();
    m_fallIntf.Redraw();
    m_chunkIntf.Redraw();
}

void CSpectrogramAnalysis::GetDrawObjectList(std::list<CDrawObject*>* list) {
    CNormalAnalysis::GetDrawObjectList(list);
    if (list)
        list->push_back(&m_3dIntf.GetFrameObject());
}

QWidget* CSpectrogramAnalysis::CreatePanes(QWidget* parent, QWidget* view) {
    const int w = parent ? parent->width() : kImageWidth;
    const int h = parent ? parent->height() : kImageHeight;
    const CString section = GetProfileSection();
    SIZE top{w / 5, h};
    SIZE lowerLeft{w - w / 5, h / 2};
    SIZE lowerRight{w - w / 5, h / 2};
    GetProfileSIZE(section, "SPLIT[0][0]", &top);
    GetProfileSIZE(section, "SPLIT[0][1]", &lowerLeft);
    GetProfileSIZE(section, "SPLIT[1][1]", &lowerRight);

    auto* outer = new CSplitterWnd;
    outer->CreateStatic(parent, 2, 1);
    auto* inner = new CSplitterWnd;
    inner->CreateStatic(nullptr, 1, 2, CSplitterWnd::kFirstPaneId + 1);
    outer->SetRowInfo(0, top.cy, kMinPaneSize);
    inner->SetColumnInfo(1, lowerRight.cx, kMinPaneSize);
    m_3dView = new CPaneView;
    m_chunkView = new CPaneView;
    NamePane(m_3dView, PaneNames::kSpectrogram);
    NamePane(m_chunkView, PaneNames::kChunk);
    outer->SetPane(0, 0, m_3dView, top);
    outer->SetPane(1, 0, inner, lowerLeft);
    inner->SetPane(0, 0, m_chunkView, lowerLeft);
    inner->SetPane(0, 1, view, lowerRight);
    m_3dIntf.SetViewWindow(m_3dView);
    if (m_viewMode)
        m_fallIntf.SetViewWindow(m_3dView);
    m_chunkIntf.SetViewWindow(m_chunkView);
    m_outer = outer;
    m_inner = inner;
    return outer;
}

void CSpectrogramAnalysis::DrawView(CDC* dc, const CRect& rect) {
    // Row heights of the outer splitter and column widths of the inner one,
    // as 16.16 shares of the rectangle.
    int top = 1, bottom = 1, left = 1, right = 1;
    if (m_outer && m_inner) {
        m_outer->GetRowInfo(0, &top, nullptr);
        m_outer->GetRowInfo(1, &bottom, nullptr);
        m_inner->GetColumnInfo(0, &left, nullptr);
        m_inner->GetColumnInfo(1, &right, nullptr);
    }
    if (top <= 0 || bottom <= 0)
        top = bottom = 1;
    if (left <= 0 || right <= 0)
        left = right = 1;
    const long long rowShare = (static_cast<long long>(top) << 16) / (top + bottom);
    const long long colShare = (static_cast<long long>(left) << 16) / (left + right);
    const int split = rect.top + static_cast<int>(((rect.bottom - rect.top + 1) * rowShare) >> 16);
    const int column =
        rect.left + static_cast<int>(((rect.right - rect.left + 1) * colShare) >> 16);
    if (m_viewMode) {
        m_fallIntf.Draw(dc, CRect(rect.left, rect.top, rect.right, split));
    } else {
        m_3dIntf.Draw(dc, CRect(rect.left, rect.top, rect.right, split));
    }
    m_chunkIntf.Draw(dc, CRect(rect.left, split, column, rect.bottom));
    CNormalAnalysis::DrawView(dc, CRect(column, split, rect.right, rect.bottom));
    // The panes lay out again in their own size at the next paint.
    m_3dIntf.Redraw();
    m_fallIntf.Redraw();
    m_chunkIntf.Redraw();
}

// ---- Profile and settings

void CSpectrogramAnalysis::ReadProfile() {
    CNormalAnalysis::ReadProfile();
    const CString section = GetProfileSection();
    m_chunkIntf.Setup(section + kChunkSuffix);
    m_3dIntf.Setup(section);
    m_chunkIntf.GetGraph().GetStatusText().SetText(CString());
    for (int k = 0; k < CGraphInterface::kDrawObjectCount; ++k) {
        CDrawObject* chunkObject = m_chunkIntf.GetDrawObject(k);
        chunkObject->SetProfileFlag(0);
        // The chunk graph follows the spectrum graph's look.
        if (m_graphIntf.GetDrawObject(k)->GetUpdateLink() != chunkObject)
            m_graphIntf.GetDrawObject(k)->AddUpdateLink(chunkObject);
    }
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_slicePosition = std::clamp(keys.ProfileInt(section, "SlicePosition", 0), 0, m_sliceCount - 1);
    m_chunkPosition = keys.ProfileInt(section, "ChunkPosition", kDefaultChunkPosition);
    m_chunkUnit = keys.ProfileInt(section, "ChunkUnit", kDefaultChunkUnit);
    SetViewMode(GetProfileInt(section, kViewKey, 0));
    m_chunkLine.SetDrawObject(&m_traceObjects[0]);
    m_chunkLine.SetRedrawFlag(1);
    SetRingUnit();
    m_chunkIntf.SetReadoutFlags(kReadoutTimeAxis);
}

void CSpectrogramAnalysis::WriteProfile() {
    CNormalAnalysis::WriteProfile();
    const CString section = GetProfileSection();
    if (m_outer && m_inner) {
        int outerWidth = 0, topHeight = 0, leftWidth = 0, rightWidth = 0, rowHeight = 0;
        m_outer->GetRowInfo(0, &topHeight, nullptr);
        outerWidth = m_outer->width();
        m_inner->GetColumnInfo(0, &leftWidth, nullptr);
        m_inner->GetColumnInfo(1, &rightWidth, nullptr);
        rowHeight = m_inner->height();
        SIZE size{outerWidth, topHeight};
        WriteProfileSIZE(section, "SPLIT[0][0]", &size);
        size = SIZE{leftWidth, rowHeight};
        WriteProfileSIZE(section, "SPLIT[0][1]", &size);
        size = SIZE{rightWidth, rowHeight};
        WriteProfileSIZE(section, "SPLIT[1][1]", &size);
    }
    WriteProfileInt(section, "SlicePosition", m_slicePosition);
    WriteProfileInt(section, "ChunkPosition", m_chunkPosition);
    WriteProfileInt(section, "ChunkUnit", m_chunkUnit);
    WriteProfileInt(section, kViewKey, m_viewMode);
    m_chunkIntf.WriteProfile();
    m_3dIntf.WriteProfile();
}

int CSpectrogramAnalysis::SaveSettings() {
    int ok = CNormalAnalysis::SaveSettings();
    const char* section = CoreSection();
    ok &= WriteSettingFileINT(section, "SlicePosition", m_slicePosition);
    ok &= WriteSettingFileINT(section, "ChunkPosition", m_chunkPosition);
    ok &= WriteSettingFileINT(section, "ChunkUnit", m_chunkUnit);
    ok &= WriteSettingFileINT(section, kViewKey, m_viewMode);
    ok &= m_3dIntf.WriteSetting(k3DSection);
    ok &= SaveModeSettings();
    return ok ? 1 : 0;
}

int CSpectrogramAnalysis::LoadSettings() {
    // A kept capture is taken in with the settings it was measured under.
    TakeInSlices();
    int ok = CNormalAnalysis::LoadSettings();
    SetRingUnit();
    const char* section = CoreSection();
    ok &= GetSettingFileINT(section, "SlicePosition", &m_slicePosition) ? 1 : 0;
    ok &= GetSettingFileINT(section, "ChunkPosition", &m_chunkPosition) ? 1 : 0;
    ok &= GetSettingFileINT(section, "ChunkUnit", &m_chunkUnit) ? 1 : 0;
    // Files written before the waterfall have no view key: the view stays.
    int view = m_viewMode;
    GetSettingFileINT(section, kViewKey, &view);
    SetViewMode(view);
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    m_slicePosition =
        std::clamp(keys.Checked("SlicePosition", m_slicePosition), 0, m_sliceCount - 1);
    m_chunkPosition = keys.Checked("ChunkPosition", m_chunkPosition);
    ok &= m_3dIntf.ReadSetting(k3DSection);
    ok &= LoadModeSettings();
    return ok ? 1 : 0;
}

// ---- CSV: the slices as columns SLICE0 (the newest) .. SLICE(N-1)

CString CSpectrogramAnalysis::CsvExtraParams() {
    CString s;
    s.Format("SlicePosition,%d\nChunkPosition,%d\n", m_slicePosition, m_chunkPosition);
    return s + CsvModeParams();
}

void CSpectrogramAnalysis::AppendCsvColumns(std::string& header) {
    for (int k = 0; k < m_sliceCount; ++k)
        header.append(",SLICE").append(std::to_string(k));
}

void CSpectrogramAnalysis::AppendCsvRow(std::string& out, long long point) {
    for (int k = 0; k < m_sliceCount; ++k) {
        const CTraceStore& slice = GetSliceBack(k);
        const short* data = slice.GetData();
        const short word = data && point >= 0 && point < static_cast<long long>(slice.GetPoints())
                               ? data[point]
                               : kNoSample;
        out += ',';
        AppendCsvLevel(out, word);
    }
}

bool CSpectrogramAnalysis::ReadCsvExtraParams(CCsvFile& file) {
    // The file's slices replace the ring's, a kept capture's too.
    TakeInSlices();
    int slice = kCsvMissing;
    int chunk = kCsvMissing;
    if (!file.ReadParam(&slice) || !file.ReadParam(&chunk))
        return false;
    const CKeyTable& keys = KeyTableOf(GetAnalysisType());
    if (slice != kCsvMissing)
        m_slicePosition = std::clamp(keys.Checked("SlicePosition", slice), 0, m_sliceCount - 1);
    if (chunk != kCsvMissing)
        m_chunkPosition = keys.Checked("ChunkPosition", chunk);
    return ReadCsvModeParams(file);
}

void CSpectrogramAnalysis::ReadCsvRow(const CCsvLine& row, long long point) {
    TakeInSlices();
    // The slice columns the row has, 32 at a time.
    const int columns = std::min(m_sliceCount, row.GetFieldCount() - CNormalAnalysis::kTraceStores);
    short words[32];
    for (int first = 0; first < columns; first += 32) {
        const int count = std::min(32, columns - first);
        const unsigned read = row.LevelFields(CNormalAnalysis::kTraceStores + first, count, words);
        for (int j = 0; j < count; ++j) {
            // Column SLICEk is ring index N - 1 - k: after the reset the write
            // position is 0, so that index is again k slices back from the newest.
            CTraceStore& slice = m_slices[static_cast<size_t>(m_sliceCount - 1 - (first + j))];
            if (slice.GetPoints() == 0 || !(read & (1u << j)))
                continue;
            const DWORD index = static_cast<DWORD>(
                std::min<long long>(point, static_cast<long long>(slice.GetPoints()) - 1));
            slice.SetWord(index, words[j]);
        }
    }
}

void CSpectrogramAnalysis::CsvRowsRead() {
    Reconfigure(FALSE);
    RebuildChunkLine();
    RefillWaterfall();
}
