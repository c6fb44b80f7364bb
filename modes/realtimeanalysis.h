// CRealTimeAnalysis: the real-time spectrogram. One device task captures 256
// consecutive spectra of a 24 MHz band, 4 us apart (1.024 ms in all), at once
// or from a level trigger; they fill the ring of slice lines in one go. With
// trigger mode 0 the window stops after each capture, otherwise the rotation
// starts the next one.
#pragma once

#include "draw/triggermarkcontext.h"
#include "modes/spectrogramanalysis.h"

#include <algorithm>

class CRealTimeAnalysis : public CSpectrogramAnalysis {
public:
    static constexpr int kSlices = 256;
    static constexpr int kKind = 32;
    // A capture delivers one block of this many words per slice, word b the
    // level at the base frequency + b x step; at least the first kOffsetWords
    // of them take the level offsets.
    static constexpr int kBlockWords = 128;
    static constexpr int kOffsetWords = 105;
    static constexpr int kHalfSpan = 12000; // kHz
    static constexpr int kWaitingBit = 0x0800;
    static constexpr int kTriggeredBit = 0x1000;
    // The trigger block is one of the 256 blocks: positions above are held
    // to the last (the device refuses them).
    static int HoldTrigPosition(int position) { return std::clamp(position, 0, kSlices - 1); }

    CRealTimeAnalysis(CCommandEntry* frameList, CCommandEntry* buttonList,
                      CFrameLink* link = nullptr);
    ~CRealTimeAnalysis() override;

    int GetAnalysisType() override { return 5; }
    CString GetProfileSection() override;
    void ReadProfile() override;
    void WriteProfile() override;
    // The band is always 24 MHz about a centre on the RBW grid, inside the
    // device's range: start and stop move the centre, the span stays.
    void SetCenter(int kHz) override;
    void SetStart(int kHz) override;
    void SetStop(int kHz) override;
    void SetSpan(int kHz) override;
    void Reconfigure(BOOL reset) override;
    int StartAnalysis() override;
    void AnalysisFinished(WPARAM wParam, LPARAM lParam) override;
    // The trigger status.
    void AnalysisProgress(WPARAM wParam, LPARAM lParam) override;
    void ViewProgress() override {}
    int ExecuteCommand(int action, int p1, int p2, int p3, int p4, int p5) override;
    int GetCommandState(int action, int p1, int p2, int p3, int p4, int p5) override;
    int OnCenterEntry() override;

    int GetTrigMode() const { return m_trigMode; }
    int GetTrigPosition() const { return m_trigPosition; }
    int GetTrigType() const { return m_trigType; }
    int GetSenseTrigValue() const { return m_senseTrigValue; }
    int GetTriggerWaitState() const { return m_triggerWait; }
    // Marks, on the chunk graph, where the trigger block lies in the capture
    // (shown while a trigger is set).
    CTriggerMarkContext& GetTriggerMark() { return m_triggerMark; }
    // The bin of the block that holds Start.
    int GetFirstDisplayedBin() const { return m_firstBin; }

protected:
    int GetRBWKindMask() override { return kKind; }
    const char* CoreSection() const override { return "REALTIME_CORE"; }
    int ChunkStep() const override { return 4; }
    const char* ChunkFirstLabel() const override { return " : 0us"; }
    CString ChunkLastLabel() const override { return " : 1.024ms"; }
    bool ChunkOldestFirst() const override { return true; }
    int SaveModeSettings() override;
    int LoadModeSettings() override;
    CString CsvModeParams() override;
    bool ReadCsvModeParams(CCsvFile& file) override;

    // The capture call; tests replace it.
    virtual int DeviceStart(int baseKHz, int attenuation, BYTE trigType, short level,
                            WORD position);

private:
    // The status text is emptied and the wait for the trigger ends.
    void ClearTriggerStatus();
    // The trace grid's start: the band's start on the 1000 kHz grid.
    int GridStart() const { return m_start / 1000 * 1000; }
    // Places the trigger mark at the trigger block's place on the chunk line.
    void PlaceTriggerMark();
    // What a capture's trigger was: the slices of a capture are marked and
    // saved with their own trigger, never with one chosen since.
    struct CCaptureTrigger {
        int type = 0;
        int position = 4;
        int sense = 1000;
    };
    CCaptureTrigger TriggerOfNow() const { return {m_trigType, m_trigPosition, m_senseTrigValue}; }
    // The trigger of the capture the ring holds, else that of the settings.
    CCaptureTrigger ShownTrigger() const {
        return m_hasCapture ? m_captureTrigger : TriggerOfNow();
    }
    // The rows of a file are a capture of its trigger values.
    void CsvRowsRead() override;

    int m_trigMode = 0;
    int m_trigPosition = 4;
    int m_trigType = 0;
    int m_senseTrigValue = 1000;
    int m_triggerWait = 0;
    int m_firstBin = 0;
    // Blocks of the last capture (a whole capture before the first).
    int m_capturedBlocks = kSlices;
    CCaptureTrigger m_taskTrigger;
    CCaptureTrigger m_captureTrigger;
    bool m_hasCapture = false;
    CTriggerMarkContext m_triggerMark;
};
