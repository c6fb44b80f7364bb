// CZeroSpanAnalysis: the level of one frequency, or of a band of adjacent
// bins, against time. The window shows a time graph (level against time, up to
// 50 s) above a 24 MHz spectrum about the centre frequency. While the time
// analysis is off the core sweeps the spectrum block by block; the second
// spectrum marker (the zero-span marker) picks the bin or band, and once the
// time analysis is on the next measurement is a time capture of it, started
// at once or by a level trigger taken from the spectrum's trigger line.
#pragma once

#include "draw/triggermarkcontext.h"
#include "lib/blendobject.h"
#include "modes/normalanalysis.h"
#include "platform/splitterwnd.h"

#include <QPointer>

#include <algorithm>
#include <array>

class CZeroSpanAnalysis : public CNormalAnalysis {
public:
    // What a time capture was measured with. The time traces hold the last
    // capture taken in: its trigger mark, its time axis, its level-offset
    // correction and the keys of its CSV file come from here, never from
    // settings changed since it started.
    struct CTimeCapture {
        int timeSpan = 0; // ms
        int triggerType = 0;
        int triggerTimePosition = 50;
        int samples = 0;     // N
        int postTrigger = 0; // P: samples from the trigger point on
        BYTE startBin = 0;   // the marker's bins, in their own order
        BYTE stopBin = 0;
        int accumulateMode = 0;
        int base = 0; // B
        int step = 0; // R
        // The frequency of StartBin, whose level-offset entry corrected
        // every sample.
        long long FirstBinKHz() const { return base + static_cast<long long>(startBin) * step; }
        // The sample of the trigger point, N - P; 0 when the capture ran free.
        int TriggerSample() const { return triggerType != 0 ? samples - postTrigger : 0; }
    };

    // The analysis kind of every device call of this window.
    static constexpr int kKind = 8;
    // The spectrum always spans 24000 kHz about its centre.
    static constexpr int kHalfSpan = 12000;
    static constexpr int kSpan = 2 * kHalfSpan;
    // A spectrum block holds 104 bins from the base frequency.
    static constexpr int kBlockBins = 104;
    // Time captures: one sample per 100 us, at most 50 s.
    static constexpr int kMaxTimeSpan = 50000; // ms
    static constexpr int kSamplesPerMs = 10;
    static constexpr int kSampleStepUs = 100;
    static constexpr int kTimeTraces = 3; // time DataLine, Trace1, Trace2
    // The zero-span marker is the spectrum graph's second marker.
    static constexpr int kZeroSpanMarker = 2;
    // Progress reports of a triggered capture.
    static constexpr LPARAM kWaitingForTrigger = 0x0800;
    static constexpr LPARAM kTriggered = 0x1000;
    // Strings: the waiting and triggered status texts, the marker entries.
    static constexpr int kStrWaiting = 47;
    static constexpr int kStrTriggered = 48;
    static constexpr int kStrCapturing = 84;
    static constexpr int kStrMarkerPosition = 24;
    static constexpr int kStrMarkerDistance = 49;

    CZeroSpanAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                      CFrameLink* link = nullptr);
    ~CZeroSpanAnalysis() override;

    int GetAnalysisType() override { return 3; }
    int GetRBWKindMask() override { return kKind; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    int SaveSettings() override;
    int LoadSettings() override;
    // modes/zerospancsv.cpp: the spectrum rows, then the time rows.
    int WriteCSVSections(CStdioFile& file) override;
    int ReadCSVSections(const char* path) override;

    // The centre snaps down to the RBW grid and moves inward at the device's
    // limits so that the 24 MHz span fits. Start and stop move the centre;
    // the span stays.
    void SetCenter(int kHz) override;
    void SetStart(int kHz) override;
    void SetStop(int kHz) override;
    void SetSpan(int kHz) override;
    // The six spectrum lines and the three time lines.
    void SetUnitAll(int unit) override;
    void ForEachLevelStore(const LevelStoreVisitor& visit) override;
    // Trace commands act on the time traces: k 1 and 2, above 2 taken as 2.
    CTraceStore* GetTrace(int k) override;
    void ShowTrace(int k, BOOL show) override;

    void Reconfigure(BOOL reset) override;
    int StartAnalysis() override;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override;
    // The window's analysis is switched off: a time capture is cut short.
    void Stop() override;

    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;

    // ---- The time graph's markers (the marker commands act on them).
    CMarkerContext* GetMarker(int k) override;
    void SelectMarker(int k) override;
    int OnMarkerEntry() override;
    int OnPeakSearch() override;
    int OnNextPeak() override;
    int OnMarkerCommand(int action, int p1) override;

    // ---- The window: the time graph above, the spectrum below.
    QWidget* CreatePanes(QWidget* parent, QWidget* view) override;
    void AttachWindow(CChildFrame* window) override;
    // The two graphs in the proportion of the splitter's rows.
    void DrawView(CDC* dc, const CRect& rect) override;
    void UpdateView() override;
    void ShowRunState() override;

    // ---- State, for the window and tests.
    int GetTriggerTimePosition() const { return m_triggerTimePosition; }
    int GetTriggerMode() const { return m_triggerMode; }
    int GetTimeSpan() const { return m_timeSpan; }
    int GetTriggerType() const { return m_triggerType; }
    BYTE GetStartBin() const { return m_startBin; }
    BYTE GetStopBin() const { return m_stopBin; }
    int GetTimeRequested() const { return m_timeRequested; }
    int GetTimeCapture() const { return m_timeCapture; }
    int GetTaskTerminated() const { return m_taskTerminated; }
    int GetTriggerWait() const { return m_triggerWait; }
    // The capture the time traces hold (HasTimeCapture), else what a capture
    // started now would be measured with.
    bool HasTimeCapture() const { return m_hasCapture; }
    CTimeCapture GetShownCapture() { return m_hasCapture ? m_capture : CaptureOfNow(); }
    int GetFirstDisplayedBin() const { return m_firstBin; }
    double GetTimeAxisStart() const { return m_timeAxisStart; }
    double GetTimeAxisStop() const { return m_timeAxisStop; }
    // The zero-span marker's delta mode: 0 one bin, else the band.
    int GetAccumulateMode();
    // B: the 2 MHz grid point 13 MHz (or up to 2 MHz more) below the centre.
    int BaseFrequency() const;
    // The RBW step of this kind and the core's RBW index.
    int BinStep();
    // A bin held to those the device captures (0 to 103).
    static BYTE HoldBin(long long bin) {
        return static_cast<BYTE>(std::clamp<long long>(bin, 0, kBlockBins - 1));
    }
    // Trigger types the device knows: 0 free run, 1 rising, 2 falling;
    // anything else is free run.
    static int HoldTriggerType(int type) { return type >= 0 && type <= 2 ? type : 0; }
    // P, the samples from the trigger point on:
    // ((((100 - TriggerTimePosition) x 512) / 100) x N) >> 9.
    int PostTriggerSamples() const;
    CMarkerContext& GetZeroSpanMarker() { return m_markers[kZeroSpanMarker - 1]; }
    CDataLineContext& GetTimeTrace(int k) { return m_timeTraces[static_cast<size_t>(k)]; }
    CGraphInterface& GetTimeGraph() { return m_timeIntf; }
    CTriggerMarkContext& GetTriggerMark() { return m_triggerMark; }
    CBlendObject& GetTimeBlend() { return m_timeBlend; }
    CSplitterWnd* GetSplitter() const { return m_splitter; }
    QWidget* GetTimeView() const { return m_timeView; }

protected:
    // Device calls; tests replace them. Terminating is followed by the
    // device's 100 ms settling pause.
    virtual int DeviceZeroSpanSpectrum(HWND hwnd, BYTE tag, int base, int attenuation);
    virtual int DeviceZeroSpanCapture(HWND hwnd, BYTE tag, int base, int attenuation,
                                      BYTE triggerType, int level, BYTE firstBin, BYTE lastBin,
                                      int samples, int postTrigger);
    void DeviceTerminate() override;
    // The numeric entry dialog: the value entered, DBL_MAX when cancelled.
    virtual double NumberEntry(double value, const char* unit, const char* title);

private:
    // Before a change of what a capture measures: the core's running time
    // capture ends (by the rule of TerminateOwnTask) and is marked for a
    // restart.
    void StopTask();
    // After the change, or a refused one: a capture cut by StopTask starts
    // again while the core holds the device; otherwise in the core's turn.
    void RestartTask();
    // The trigger line (direction TriggerType - 1) follows TriggerType; the
    // trigger mark stands where the shown capture was triggered.
    void ApplyTrigger();
    // The settings a time capture started now is measured with.
    CTimeCapture CaptureOfNow();
    // Bin of a frequency, held to the captured bins.
    BYTE BinOf(int kHz);
    // kHz lies on one of the captured bins.
    bool OnBins(int kHz);
    // The spectrum's status text is emptied and the trigger wait ends.
    void ClearStatus();
    // The commands of the time graph and the capture (251 to 258).
    int TimeCommand(int action, int p1, int p2);
    // After a change the time pane shows: it is repainted now, and the next
    // update repaints both panes, whether or not a change is followed by one.
    void TimePaneChanged();
    // The time traces, trigger line and mark and the time markers after the
    // profile or a setting data file was read.
    void SetUpTimeGraph();
    // The time graph's axis and texts.
    void UpdateTimeGraph();
    // StartBin / StopBin against the zero-span marker's two points.
    void ReconcileBins();
    // The zero-span marker's delta mode from a stored AccumulateMode.
    void ApplyAccumulateMode(int mode);
    // The current time marker to the highest peak of the time graph, or to
    // the next lower one.
    int SearchPeak(bool next);
    // A time-graph marker entry in ms; false when cancelled.
    bool EntryMs(int titleString, double valueMs, double* result);
    int Command251();
    int Command252(int value);
    int Command257(int value);
    int Command258(int selectMode, int bin);

    int m_triggerTimePosition = 50;
    int m_triggerMode = 0;
    int m_timeSpan = 5000;
    int m_triggerType = 0;
    BYTE m_startBin = 10;
    BYTE m_stopBin = 100;
    int m_timeRequested = 0;
    int m_timeCapture = 0;
    int m_firstBin = 0;
    int m_taskTerminated = 0;
    int m_triggerWait = 0;
    // The running capture's settings, and those of the capture shown.
    CTimeCapture m_taskCapture;
    CTimeCapture m_capture;
    bool m_hasCapture = false;
    double m_timeAxisStart = 0.0;
    double m_timeAxisStop = 5000000.0;

    std::array<CDataLineContext, kTimeTraces> m_timeTraces;
    CGraphInterface m_timeIntf;
    std::array<CMarkerContext, kMarkerCount> m_timeMarkers;
    CCursolContext m_timeCursor;
    CTriggerMarkContext m_triggerMark;
    CBlendObject m_timeBlend;
    QPointer<CSplitterWnd> m_splitter;
    QPointer<QWidget> m_timeView;
    // Spectrum blocks taken in whose view update has not come yet. Such a
    // block changes only the spectrum pane: its update leaves the time pane
    // as it is. Whatever may change the time pane repaints it and sets this
    // to 0 (TimePaneChanged).
    int m_spectrumBlocksUnshown = 0;
};
