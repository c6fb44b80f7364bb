// CSemiRealAnalysis: the semi-real-time spectrogram. The device sweeps a fixed
// band of 400 points again and again and streams the slices; the window keeps
// the last 100. Batches of slices arrive as intermediate data, and the next
// batch is asked for once the window has shown the last one, so the stream
// needs no timer and no polling. Up to 20 channels of the channel list are
// marked on the graphs as coloured bands.
#pragma once

#include "lib/channellist.h"
#include "modes/spectrogramanalysis.h"

#include <algorithm>
#include <array>

class CSemiRealAnalysis : public CSpectrogramAnalysis {
public:
    static constexpr int kSlices = 100;
    static constexpr int kSlicePoints = 400;
    static constexpr int kKind = 16;
    static constexpr int kChannelEntries = 20;
    // A band moved inside the device's limits is this wide (kHz).
    static constexpr int kClampedSpan = 100000;

    CSemiRealAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                      CFrameLink* link = nullptr);
    ~CSemiRealAnalysis() override;

    int GetAnalysisType() override { return 4; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    void Reconfigure(BOOL reset) override;
    int StartAnalysis() override;
    // Slices come as intermediate data; the finished notification brings none.
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override;
    void ViewProgress() override;
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;
    int OnCenterEntry() override;

    // The channel number of entry i, -1 when free.
    int GetChannelEntry(int i) const { return m_channelNumbers[static_cast<size_t>(i)]; }
    CChannelObject& GetChannelBand(int i) { return m_channels[static_cast<size_t>(i)]; }
    bool HasChannel(int number) const;
    // The time from the oldest slice of the ring to the newest and one
    // slice's time more (the ring's whole span), in us; slices not yet taken
    // count a slice's time each.
    long long RingSpanUs() const;
    // The time of a slice: 10 ms per rejection.
    long long SliceTimeUs() const { return 10000LL * std::max(m_rejectionRate, 1); }

protected:
    int GetRBWKindMask() override { return kKind; }
    const char* CoreSection() const override { return "SEMIREAL_CORE"; }
    // The chunk graph spans the real time of the ring: a slice every 10 ms x
    // RejectionRate, and the slices the device dropped between batches.
    int ChunkStep() const override;
    const char* ChunkFirstLabel() const override { return " : 0ms"; }
    CString ChunkLastLabel() const override;
    int SaveModeSettings() override;
    int LoadModeSettings() override;

    // The device calls of the stream; tests replace them.
    virtual int DeviceStart(int kHz, int attenuation, int rejection);
    virtual int DeviceNextResult();

private:
    // The band's grid reaches beyond the kSlicePoints points of a slice.
    bool WiderThanSlices(int step) const;
    // Holds the band to what the slices cover (keeping its centre in centre
    // and span mode, else its start).
    void HoldToSlices(int step);
    // Entry i shows channel number (or is freed with -1).
    void FillEntry(int i, int number, int low, int high);
    void FreeEntry(int i);
    // The channels in use show where they reach into [low, high].
    void PlaceChannels(int low, int high);
    int ToggleChannel(int number);
    int ChannelColour(int number);
    int RemoveCategory(int category);
    // 1 while stopped, 0 while analysing (the channel commands' result).
    int StoppedResult() const { return m_analyzeFlag ? kCommandDone : kCommandRedraw; }

    std::array<CChannelObject, kChannelEntries> m_channels;
    std::array<int, kChannelEntries> m_channelNumbers;
    // When each ring entry was taken (us since the ring restarted), the clock
    // of the stream and how many slices the ring holds.
    std::array<long long, kSlices> m_sliceTimes{};
    long long m_streamClock = 0;
    int m_takenSlices = 0;
};
