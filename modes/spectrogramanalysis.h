// CSpectrogramAnalysis: what the two spectrogram windows (semi-real-time and
// real-time) share. The device delivers spectra (slices) of a fixed band; the
// core keeps the last N of them in a ring of slice lines, shows them as a 3D
// waterfall in the top pane, the level at one frequency (the chunk) over the
// slices in the chunk graph at the lower left, and the slice chosen by the
// slice position with the six traces in the spectrum graph at the lower
// right. Slice k positions back from the newest is ring index
// (write position - 1 - k) mod N.
#pragma once

#include "modes/3dgraphinterface.h"
#include "modes/normalanalysis.h"
#include "modes/paneview.h"
#include "modes/waterfallinterface.h"
#include "platform/splitterwnd.h"

#include <QPointer>

#include <functional>
#include <memory>

class CSpectrogramAnalysis : public CNormalAnalysis, public C3DGraphOwner {
public:
    static constexpr int kHidden = C3DGraphInterface::kHidden;
    static constexpr int kDefaultChunkPosition = 200;
    static constexpr int kDefaultChunkUnit = 50000;
    static constexpr int kMinPaneSize = 50;
    // A terminated task is given this long before the next start.
    static constexpr int kTerminateWaitMs = 100;

    CSpectrogramAnalysis(int sliceCount, CCommandEntry* frameList, CCommandEntry* buttonList,
                         CFrameLink* link);
    ~CSpectrogramAnalysis() override;

    int GetSliceCount() const { return m_sliceCount; }
    int GetWritePosition() const { return m_writePosition; }
    int GetSlicePosition() const { return m_slicePosition; }
    int GetChunkPosition() const { return m_chunkPosition; }
    int GetChunkUnit() const { return m_chunkUnit; }
    // DataLine start + ChunkPosition x DataLine step.
    int GetChunkFrequency() const;
    int GetTaskTerminated() const { return m_taskTerminated; }
    // Slice line i of the ring (0 .. N - 1), with every capture taken in.
    CDataLineContext& GetSliceLine(int i);
    // The slice line k positions back from the newest.
    CDataLineContext& GetSliceBack(int k) { return GetSliceLine(SliceIndexBack(k)); }
    CDataLineContext& GetChunkLine() {
        TakeInSlices();
        return m_chunkLine;
    }
    CGraphInterface& GetChunkInterface() { return m_chunkIntf; }
    C3DGraphInterface& Get3DInterface() { return m_3dIntf; }
    CWaterfallInterface& GetWaterfallInterface() { return m_fallIntf; }
    // The top pane's view: 0 the 3D graph, 1 the waterfall ("WaterfallView").
    int GetViewMode() const { return m_viewMode; }
    void SetViewMode(int mode);

    // A kept capture is taken into the ring first; then the traces, every
    // slice line and the chunk line (its samples all of the chunk frequency).
    void ForEachLevelStore(const LevelStoreVisitor& visit) override;
    void UpdateView() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;
    // Stopping the window's analysis stops the device task, which would
    // otherwise run on for a window that is gone.
    void Stop() override;
    void GetDrawObjectList(std::list<CDrawObject*>* list) override;

    // Two static splitters: the 3D graph over a row of the chunk graph and
    // the window's view (the spectrum graph).
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    // The three graphs in the proportions of the splitters.
    void DrawView(CDC* dc, const CRect& rect) override;
    CSplitterWnd* GetOuterSplitter() const { return m_outer; }
    CSplitterWnd* GetInnerSplitter() const { return m_inner; }
    CPaneView* Get3DView() const { return m_3dView; }
    CPaneView* GetChunkView() const { return m_chunkView; }

    bool Is3DGraphStopped() override { return m_analyzeFlag == 0; }
    void Run3DGraphCommand(int action, int value) override;

    // Before a change of what is measured: the core's running task ends and
    // is marked for a restart (by the rule of TerminateOwnTask).
    void StopTask();
    // A task cut short by StopTask starts again while the core holds the
    // device; otherwise the rotation starts it in its turn.
    void RestartTask();
    // Before a reconfiguration with a new band or grid: the task that runs
    // now ends, also one the rotation started again while an entry that had
    // stopped the task was open; a task this core ended is still restarted.
    void StopTaskForNewGrid();

protected:
    // The analysis kind of the device queries (16 or 32).
    int GetRBWKindMask() override = 0;
    // The mode's setting-file section ("SEMIREAL_CORE", "REALTIME_CORE").
    virtual const char* CoreSection() const = 0;
    // The chunk line's x step (one slice) and the texts after strings 13 and
    // 14 that label the chunk graph's ends.
    virtual int ChunkStep() const = 0;
    virtual const char* ChunkFirstLabel() const = 0;
    virtual CString ChunkLastLabel() const = 0;
    // The chunk graph's time axis: the age of a slice, newest at the left (a
    // stream), or the time within one capture, its first block at the left.
    virtual bool ChunkOldestFirst() const { return false; }

    // Runs start; a refusal is retried once after a terminate and the wait.
    // The result of the last call.
    int StartWithRetry(const std::function<int()>& start);
    // The wait after the device's terminate.
    virtual void WaitAfterTerminate();

    // Ring index of the slice k positions back from the newest.
    int SliceIndexBack(int k) const;
    // The n words become the slice line at the write position (in the core's
    // unit), the 3D graph takes it as its newest slice, and the write position
    // moves on.
    void StoreSlice(const short* words, int n);
    // The blocks of a capture in the receive buffer (stride words apart; a
    // slice takes count words from first on) become the newest slices. A
    // capture that fills the whole ring replaces every slice: it is kept as it
    // came, and taken into the ring only when something looks at the ring (a
    // draw, a command, a file), so a capture the display never shows costs
    // little more than its receipt. ShowSliceLine reads it at once.
    void StoreCapture(int blocks, int stride, int first, int count);
    // A kept capture becomes the ring's slices, and the chunk line follows.
    void TakeInSlices();
    // Slice line i of the ring as it stands, a kept capture not taken in:
    // for its grid and window, which a capture does not change.
    CDataLineContext& RingSlice(int i);
    // The six traces show slice line i (as display data, in its unit).
    void ShowSliceLine(int i);
    // The chunk line: the level of every slice at the chunk frequency, newest first.
    void RebuildChunkLine();
    // The slice lines and the chunk line take the core's unit.
    void SetRingUnit();
    // The slice lines take the spectrum's axis window.
    void SetSliceWindows();
    // The slice lines get the grid; the ring restarts empty in the 3D graph.
    void ResetRing(int start, int step, int points);
    // The 3D graph takes the slices it holds again, oldest first, and maps
    // each anew (after a change of the scale or the level range).
    void RemapRing();
    // The chunk line's x grid (reset) and the chunk graph's axis and labels.
    void SetChunkAxis(BOOL reset);
    // The words of the last task into the receive buffer; their count.
    int ReceiveAll();
    // The reconfiguration's common steps, between the mode's band limits and
    // its channels: texts and scale for the step, the chunk graph, and with
    // reset the grid (first, step, points) on the traces and the ring.
    void ConfigureGraphs(BOOL reset, int step, int first, int points);
    // What follows the slices taken in: the spectrum's axis and markers
    // (after new slices), the chunk line, the logging step, the data time.
    void FinishIntake(bool newSlices);
    // Adds to each of n words the offset-table entry of its frequency
    // (start + i x step).
    void ApplyOffsets(short* words, int n, long long start, long long step) const;
    // The waterfall takes the ring's window, the level range and the slice
    // period; RefillWaterfall gives it every slice line again, oldest first.
    void SyncWaterfall();
    void RefillWaterfall();
    // The waterfall takes a slice line as its newest row, in dBm words (the
    // slice holds its words in its unit).
    void AddToWaterfall(const CDataLineContext& slice);
    // Both 3D highlights take their values, hidden; the 3D graph redraws.
    void HideHighlights();
    // The 3D graph and the waterfall take the re-mapped slices again.
    void LevelsRemapped() override;
    // 201-204: the slice position and chunk frequency entries and commands.
    int SetSlicePosition(int value);
    // f rounded to the DataLine's grid and held inside it; the chunk line is rebuilt.
    void SetChunkFrequency(long long kHz);
    // The mode's keys of the setting-data file after SlicePosition,
    // ChunkPosition, ChunkUnit and the 3D graph.
    virtual int SaveModeSettings() { return 1; }
    virtual int LoadModeSettings() { return 1; }
    // The mode's CSV parameter lines after SlicePosition and ChunkPosition.
    virtual CString CsvModeParams() { return CString(); }
    virtual bool ReadCsvModeParams(CCsvFile&) { return true; }

    CString CsvExtraParams() override;
    void AppendCsvColumns(std::string& header) override;
    void AppendCsvRow(std::string& out, long long point) override;
    bool ReadCsvExtraParams(CCsvFile& file) override;
    void ReadCsvRow(const CCsvLine& row, long long point) override;
    void CsvRowsRead() override;

    const int m_sliceCount;
    std::unique_ptr<CDataLineContext[]> m_slices;
    int m_writePosition = 0;
    int m_slicePosition = 0;
    int m_chunkPosition = kDefaultChunkPosition;
    int m_chunkUnit = kDefaultChunkUnit;
    int m_taskTerminated = 0;
    CDataLineContext m_chunkLine;
    CGraphInterface m_chunkIntf;
    C3DGraphInterface m_3dIntf;
    CWaterfallInterface m_fallIntf;
    int m_viewMode = 0;
    std::vector<short> m_chunkSamples;
    // A whole capture not yet in the ring (StoreCapture): its blocks, block
    // 0 for the write position, and the words of a slice in a block.
    std::vector<short> m_heldCapture;
    int m_heldBlocks = 0;
    int m_heldStride = 0;
    int m_heldFirst = 0;
    int m_heldCount = 0;
    // The window's widgets, gone with the window.
    QPointer<CSplitterWnd> m_outer;
    QPointer<CSplitterWnd> m_inner;
    QPointer<CPaneView> m_3dView;
    QPointer<CPaneView> m_chunkView;
};
