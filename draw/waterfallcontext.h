// CWaterfallContext: a colour waterfall of spectra. Frequency runs across,
// time down (the newest slice at the top), and each sample is coloured through
// the colour scale of the 3D graph's legend: the same 20 blended bands from red
// at the top level through yellow, green and blue to black at the bottom, so
// that the two views of one ring agree. A legend strip with level labels sits
// at the left.
//
// The context keeps its own copy of the samples of every slice, so the picture
// can be coloured again (a new level range or size) without losing slices, and
// one coloured pixel row per slice. Adding a slice colours one row; a draw
// stretches the rows to the slice height and copies them out. The colour of a
// level comes from a table made when the range changes: no floating point per
// pixel.
#pragma once

#include "draw/backgroundcontext.h"
#include "platform/geometry.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

class CBlendObject;

class CWaterfallContext : public CBackGroundContext {
public:
    // Type code of the context (after the last one of the draw framework).
    static constexpr WORD kTypeCode = 1025;
    // Slices the ring can hold at most.
    static constexpr int kMaxSlices = 1024;
    // Words the ring holds at most (slices x samples); larger grids keep fewer slices.
    static constexpr long long kMaxWords = 8LL << 20;
    static constexpr int kLegendBands = 20;
    static constexpr int kColorTableSize = 4096;
    // The legend strip is as wide as the 3D graph's; its labels take the room
    // between it and the picture.
    static constexpr int kLegendWidth = 15;
    static constexpr int kLabelWidth = 46;
    // Labels of the legend at every fifth band boundary: top, 3/4, 1/2, 1/4, bottom.
    static constexpr int kLegendLabels = 5;
    // A press this many pixels from a mark still hits it.
    static constexpr int kHitDistance = 3;

    CWaterfallContext();
    ~CWaterfallContext() override;

    // Background, legend with labels, the picture, the channel bands, the
    // marks and the read-out.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override { return kTypeCode; }
    CString GetClassName() override { return "CWaterfallContext"; }

    // Stores the rectangle (edges included) and lays out legend and picture.
    void SetWindowRect(int l, int t, int r, int b);

    // ---- The ring
    // How many slices are kept and shown (1 .. kMaxSlices, fewer when the
    // samples would not fit); the slices kept so far stay.
    void SetSliceCount(int count);
    int GetSliceCount() const { return m_SliceCount; }
    // The frequency grid of the samples (kHz) and the samples per slice. A
    // grid other than the present one empties the ring.
    void SetGrid(long long start, long long step, int samples);
    int GetSampleCount() const { return m_Samples; }
    // The newest slice: n words on the grid (fewer are padded with no sample),
    // held in the unit of unitOffset (level words): the slice keeps the levels
    // at the input, as the colour scale reads them.
    void AddSlice(const short* words, int n, int unitOffset = 0);
    // No slices.
    void ClearSlices();
    // Slices kept (up to the slice count).
    int GetFilled() const { return m_Filled; }
    // The word of the slice at position (0 newest) and sample index, or kNoSample.
    short SampleAt(int position, int index) const;

    // ---- What is shown
    // The frequencies across the picture (kHz).
    void SetFrequencyWindow(double xMin, double xMax);
    // The levels of the colour scale in the shown unit: yMax gets the top
    // colour, yMin and below the bottom one; unitOffset is the unit's offset
    // in level words (added to a sample before it is compared). A change
    // colours every kept slice again.
    void SetLevelRange(double yMin, double yMax, int unitOffset = 0);
    double GetLevelMin() const { return m_LevelMin; }
    double GetLevelMax() const { return m_LevelMax; }
    // Time between two slices in microseconds, for the read-out.
    void SetSlicePeriod(double us) { m_SlicePeriod = us; }
    // Bands drawn as translucent columns over the picture (their left and
    // right ratios across the frequency window); the owner's objects.
    void AddBand(const CBlendObject* band);
    void ClearBands() { m_Bands.clear(); }
    // The highlighted slice (row mark) and chunk frequency (column mark).
    void SetSelectedSlice(int position) { m_SelectedSlice = position; }
    int GetSelectedSlice() const { return m_SelectedSlice; }
    void SetSliceMark(bool on) { m_SliceMark = on; }
    bool GetSliceMark() const { return m_SliceMark; }
    void SetChunkPosition(int kHz) { m_ChunkPosition = kHz; }
    int GetChunkPosition() const { return m_ChunkPosition; }
    void SetChunkMark(bool on) { m_ChunkMark = on; }
    bool GetChunkMark() const { return m_ChunkMark; }
    // The read-out follows the point (x, y) while on.
    void SetReadoutPoint(bool on, int x, int y);
    bool IsReadoutOn() const { return m_Readout; }

    // ---- Geometry of the last layout
    const CRect& GetImageRect() const { return m_ImageRect; } // edges excluded at right/bottom
    const CRect& GetLegendRect() const { return m_LegendRect; }
    int GetRowsPerSlice() const { return m_RowsPerSlice; }
    // Slices the picture has room for.
    int GetVisibleSlices() const;
    // The first picture row (DC coordinates) of the slice at position.
    int RowOfSlice(int position) const;
    // The slice position at DC row y, or -1 outside the slices.
    int SliceAtRow(int y) const;
    // The DC column of a frequency, or -1 outside the window.
    int ColumnOfFrequency(double kHz) const;
    // The frequency at the left edge of DC column x; false outside the picture.
    bool FrequencyAtColumn(int x, int* kHz) const;
    // Whether (x, y) is on the row mark of the selected slice, or on the
    // column of the chunk frequency, inside the picture.
    bool HitSelectedSlice(int x, int y) const;
    bool HitChunkLine(int x, int y) const;
    // Frequency, time and level under (x, y) as a line of text; false when
    // the point is not over a kept slice.
    bool ReadoutAt(int x, int y, CString* text) const;

    // ---- Colours
    // The colour of a level word through the table (the background colour for
    // no sample).
    COLORREF LevelColor(short word) const;
    // Step i (0 the top) of the legend: where bands i and i + 1 overlap, their
    // blend with the alpha factor, as the 3D graph's legend shows it.
    static COLORREF LegendStepColor(int step, int alpha);
    // Band i's own colour (band 0 pure red ... band 19 nearly black).
    static COLORREF LegendBandColor(int band);

private:
    bool HasLayout() const { return m_ImageRect.Width() > 0 && m_ImageRect.Height() > 0; }
    int Slot(int position) const;
    void MakeColorTable();
    void UpdateRowsPerSlice();
    void MakeColumnTable();
    // Colours the row of ring slot; with peaks its column peaks are first
    // taken from its samples again (else the kept ones are coloured).
    void ColorRow(int slot, bool peaks);
    void ColorAllRows(bool peaks);
    // The picture with its top left at (ox, oy) of out (clipped to it).
    void ComposeInto(QImage& out, int ox, int oy);
    void DrawLegend(CDC* pDC);
    void DrawMarks(CDC* pDC);
    void DrawReadout(CDC* pDC);
    std::uint32_t NoSampleColor() const;

    CRect m_LayoutRect{0, 0, 0, 0};
    CRect m_ImageRect{0, 0, 0, 0};
    CRect m_LegendRect{0, 0, 0, 0};
    int m_RowsPerSlice = 1;

    // The ring: m_SliceCount slots of m_Samples words each, m_Newest the slot
    // of the newest slice.
    int m_SliceCount = 100;
    int m_Capacity = 0;
    int m_Samples = 0;
    long long m_GridStart = 0;
    long long m_GridStep = 0;
    int m_Newest = -1;
    int m_Filled = 0;
    std::vector<short> m_Words;
    // One coloured row per slot, the picture's width, and the level word each
    // of its pixels shows (the highest sample of the column).
    QImage m_Rows;
    std::vector<short> m_Peaks;
    // The picture for a DC that is not an image of plain pixels.
    QImage m_Picture;

    double m_XMin = 0, m_XMax = 0;
    double m_LevelMin = -100, m_LevelMax = 0;
    int m_UnitOffset = 0;
    // A level word maps to table index ((word - m_WordMin) * m_IndexScale) >> 16.
    int m_WordMin = 0;
    long long m_IndexScale = 0;
    int m_Alpha = 0;
    std::array<std::uint32_t, kColorTableSize> m_Table{};
    std::array<std::uint32_t, kLegendBands> m_Steps{};
    // Per picture column: the first and last sample index it covers (-1: none).
    std::vector<int> m_ColFirst;
    std::vector<int> m_ColLast;

    double m_SlicePeriod = 0;
    std::vector<const CBlendObject*> m_Bands;
    int m_SelectedSlice = 0;
    bool m_SliceMark = false;
    int m_ChunkPosition = 0;
    bool m_ChunkMark = false;
    bool m_Readout = false;
    CPoint m_ReadoutPoint{0, 0};
};
