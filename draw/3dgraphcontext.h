// C3DGraphContext: the spectrogram of the real-time and semi-real-time windows.
// It keeps a ring of spectrum slices (data lines the owner fills) and draws
// them as a waterfall in an oblique projection: the frequency axis of a slice
// runs into the depth (rising from the front to the back), time runs along the
// front face (the newest slice at its left, older ones further right and
// higher), the level stands upright. A colour legend of 20 blended bands sits
// at the top left. All projection arithmetic is done once per resize into
// integer tables; a draw only stamps each slice with one mask blit.
#pragma once

#include "draw/blendingbackgroundcontext.h"
#include "lib/blendobject.h"
#include "platform/gdiobjects.h"
#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <vector>

class CDataLineContext;
class QImage;

class C3DGraphContext : public CBlendingBackGroundContext {
public:
    static constexpr int kRingSize = 256;
    static constexpr int kLegendBands = 20;
    // The depth table holds one entry per pixel column of the slice box.
    static constexpr int kMaxDepthTable = 2048;
    static constexpr int kDefaultSliceCount = 100;
    static constexpr int kDefaultSelectedSlice = 60;
    static constexpr int kDefaultChunkPosition = 1950000; // kHz
    static constexpr int kLegendWidth = 15;
    static constexpr int kLegendMinHeight = 50;
    // A press this many pixels above a highlighted line still hits it.
    static constexpr int kHitDistance = 5;
    // MakePoints' box and the depth table are in 13.19 fixed point.
    static constexpr int kTableShift = 19;
    // 0xAACC0020: copy the source where the mask is set, keep the rest.
    static constexpr DWORD kStampRop = 0xAACC0020;

    C3DGraphContext();
    ~C3DGraphContext() override;

    // Background, the owner's bands clipped to the slice boxes, legend, time
    // axis, the slices from the oldest to the newest, the highlighted slice
    // and the chunk line.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // Stores the rectangle and computes the projection tables, the legend image
    // and the slice images for it; every slice is mapped anew.
    virtual void SetWindowRect(int l, int t, int r, int b);

    // Advances the ring index and puts slice at (ring index + offset); the
    // slice maps its samples into the slice box at once.
    void AddSlice(CDataLineContext* slice, int offset);
    // Every ring entry null, ring index 0.
    void ClearSlices();
    // Whether (x, y) lies within kHitDistance pixels above the base line of the
    // selected slice, or of the chunk line, inside the context.
    bool HitSelectedSlice(int x, int y) const;
    bool HitChunkLine(int x, int y) const;

    // ---- Fields the owner sets from its commands.
    void SetChunkFlag(int flag) { m_ChunkFlag = flag; }
    int GetChunkFlag() const { return m_ChunkFlag; }
    void SetSelectedSlice(int slice) { m_SelectedSlice = slice; }
    int GetSelectedSlice() const { return m_SelectedSlice; }
    void SetChunkPosition(int kHz) { m_ChunkPosition = kHz; }
    int GetChunkPosition() const { return m_ChunkPosition; }
    // 1 to 256; the ring index is kept inside the new count.
    void SetSliceCount(int count);
    int GetSliceCount() const { return m_SliceCount; }
    int GetRingIndex() const { return m_RingIndex; }
    // The ring entry (0 to 255), or null.
    CDataLineContext* GetRingEntry(int index) const;
    // The slice shown at that position: 0 the newest, slice count - 1 the oldest.
    CDataLineContext* GetSliceAt(int position) const;
    const CBlendObject& GetLegendBand(int band) const;
    // A note under the legend's top level ("levels uncalibrated"); empty:
    // none. It takes as many lines as the width beside the legend needs, so
    // that a small graph shows it whole.
    void SetLegendNote(const CString& note);
    const CString& GetLegendNote() const { return m_LegendNote; }
    // The note's lines as drawn last.
    const std::vector<CString>& GetLegendNoteLines() const { return m_NoteLines; }

    // ---- The projection of the last SetWindowRect.
    int GetDepthWidth() const { return m_DepthWidth; }
    int GetDepthHeight() const { return m_DepthHeight; }
    int GetTopMargin() const { return m_TopMargin; }
    int GetFrontWidth() const { return m_FrontWidth; }
    // Vertical shift of the frequency axis at column x of the slice box
    // (clamped to 0 .. depth width).
    int DepthAt(int x) const;
    // Rise of the time axis at x pixels along the front face (clamped).
    int TimeAt(int x) const;
    const CRect& GetLegendRect() const { return m_LegendRect; }
    // The box the slices map their samples into.
    CRect GetSliceBox() const;
    // Where the slice box of the slice at that position lands on the DC.
    CPoint SliceOrigin(int position) const;

private:
    bool HasLayout() const { return m_DepthWidth > 0 && m_FrontWidth > 0; }
    void RenderLegend();
    // The note's lines from (x, y) down.
    void DrawLegendNote(CDC* pDC, int x, int y);
    // The slice image and mask for the layout, at pDC's device pixel ratio
    // (1 without a DC).
    void MakeSliceBitmaps(CDC* pDC);
    // The bands of the blend list other than the legend's, in the slice box
    // of every slice position.
    void DrawBands(CDC* pDC);
    void DrawLegend(CDC* pDC);
    void DrawTimeAxis(CDC* pDC);
    // The axis joining the front ends of the slices and its ticks, in the pen
    // selected.
    void StrokeTimeAxis(CDC* pDC) const;
    // Draws the time axis onto a scratch copy of picture's size and keeps the
    // pixels it set in m_Axis; false when they are not all one colour.
    bool RecordTimeAxis(const QImage& picture, const LOGPEN& pen, int bkMode, COLORREF bkColor);
    void DrawSlices(CDC* pDC);
    void DrawChunkLine(CDC* pDC);
    // The box point of slice at the chunk position, shifted by the depth.
    bool ChunkPoint(const CDataLineContext* slice, POINT* point) const;
    // The number of points of a shifted slice and the columns and rows they
    // cover in its slice box.
    struct SliceBounds {
        int count = 0;
        int left = 0;
        int right = 0;
        int top = 0;
        int bottom = 0;
    };
    // The points in the slice box of ring entry index (set) and their count:
    // its envelope's, or mapped into m_BoxPoints.
    const POINT* BoxPoints(size_t index, const CRect& box, int* count);
    // The n points shifted up by the depth table and moved by offset into
    // m_Shifted; their bounds (before the offset) in bounds. False when there
    // is nothing to draw.
    bool ShiftPoints(const POINT* points, int n, POINT offset, SliceBounds* bounds);
    // The first slice of the ring (in index order) that is set, or null.
    CDataLineContext* FirstSlice() const;
    // Its ring index, or kRingSize when none is set.
    size_t FirstIndex() const;
    // Ring entry index, its points made in the slice box first when due.
    CDataLineContext* WithPoints(size_t index) const;
    // The ring entry of the slice shown at position.
    size_t RingIndexAt(int position) const;

    // The off-screen images: the slice, its mask, the legend.
    CBitmap m_SliceImage;
    CBitmap m_SliceMask;
    double m_SliceRatio = 1.0;
    CBitmap m_Legend;
    CPen m_SlicePen;
    std::array<CBlendObject, kLegendBands> m_LegendBand;

    // Layout computed by SetWindowRect.
    CRect m_LayoutRect{0, 0, 0, 0};
    int m_DepthWidth = 0;  // D: one third of the width
    int m_DepthHeight = 0; // E: one quarter of the height
    int m_TopMargin = 0;   // Q
    int m_FrontWidth = 0;  // from the front face's left to the right edge
    int m_FrontTop = 0;
    int m_BackTop = 0;
    CRect m_LegendRect{0, 0, 0, 0};
    // The legend's level texts and the levels they were made for.
    std::array<double, 2> m_LegendLevels{};
    std::array<CString, 2> m_LegendTexts;
    CString m_LegendNote;
    // The note broken into lines for a width and a font (the width of the
    // whole note in it; -1: not yet).
    std::vector<CString> m_NoteLines;
    int m_NoteWidth = -1;
    int m_NoteWhole = -1;
    std::array<int, kMaxDepthTable> m_Depth{};
    std::vector<int> m_Time;
    // Work arrays of one slice's points in its box and shifted.
    std::vector<POINT> m_BoxPoints;
    std::vector<POINT> m_Shifted;
    // The pixels the time axis sets on a plain picture (32-bit, no mapping)
    // with a wide pen: its stroke goes through a painter, yet gives the same
    // pixels every frame while the layout, the pen and the picture's shape
    // stay. They are recorded at the second frame of such a shape and set
    // from then on.
    struct AxisPixels {
        // Layout rectangle, picture width, height and row length, pen style,
        // width and colour, background mode and colour.
        std::array<long long, 12> key{};
        int frames = 0; // frames drawn with this key
        bool kept = false;
        std::uint32_t value = 0;            // the pen's pixel
        std::vector<std::uint32_t> offsets; // row * row length + column
        POINT end{0, 0};                    // where the stroke leaves the pen
    };
    AxisPixels m_Axis;

    std::array<CDataLineContext*, kRingSize> m_Ring{};
    // The ring entries whose points are still to be made in the slice box: a
    // slice's points are made when it is first asked for (drawn, hit), not as
    // it comes in, since a fast capture brings many slices per picture.
    mutable std::array<bool, kRingSize> m_PointsDue{};
    // The entries whose points are due and were mapped aside for a drawing.
    std::array<bool, kRingSize> m_MappedAside{};
    int m_RingIndex = 0;
    int m_ChunkFlag = 0;
    int m_SelectedSlice = kDefaultSelectedSlice;
    int m_ChunkPosition = kDefaultChunkPosition;
    int m_SliceCount = kDefaultSliceCount;
};
