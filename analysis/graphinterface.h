// CGraphInterface: the view interface of the normal analysis and of the
// spectrum kinds built on it. Its root holds the spectrum graph (graticule with
// the reference mark, axis and corner texts, title line, the core's data lines
// as overlays); it keeps the four drawing objects of the window's panels,
// markers, alarm line and text log, and the graph's profile keys. The cursor,
// the markers and the logging trigger line are attached by the core that owns
// them; the drag gestures then move them.
#pragma once

#include "analysis/viewinterface.h"
#include "draw/normalgraphcontext.h"
#include "lib/drawobject.h"

#include <array>

class CCursolContext;
class CDataLineContext;
class CLoggingTriggerContext;
class CMarkerContext;

// Reads a drawing object's setting section, which is named by the object's
// title. The object keeps that title whatever the section's IDString says: a
// missing or empty one would leave it without a name, and another name would
// make two objects share one section at the next save. Keys the section lacks
// (or the whole section) leave their values as they were; 1 only when all
// were there.
int ReadDrawObjectSetting(CDrawObject& object, const CString& section);

class CGraphInterface : public CViewInterface {
public:
    // The drawing objects, by index.
    static constexpr int kPanelFace = 0;
    static constexpr int kMarkerFace = 1;
    static constexpr int kAlarmFace = 2;
    static constexpr int kLogFont = 3;
    static constexpr int kDrawObjectCount = 4;
    // Masks of the drawing objects in the screen option dialog: background,
    // text and font for the faces, the font alone for the log.
    static constexpr unsigned kFaceMask = 19;
    static constexpr unsigned kLogFontMask = 16;
    // Graph profile keys and their defaults.
    static constexpr int kDefaultDivisions = 10;
    static constexpr int kDefaultTriggerPosition = 524288; // 0.5 in 12.20
    static constexpr int kMarkers = 5;

    CGraphInterface();
    // Writes the graph keys when the interface was set up.
    ~CGraphInterface() override;

    // Reads the graph keys from the profile section and loads the four drawing
    // objects (profile ids section + "_" + their names).
    void Setup(const CString& profileSection);
    // Writes the graph keys and the drawing objects' profile sections.
    void WriteProfile();

    CDrawObject* GetDrawObject(int k) override;
    // The base record, then each drawing object in the section named by its title.
    int WriteSetting(CString section) override;
    int ReadSetting(CString section) override;

    CNormalGraphContext& GetGraph() { return m_Graph; }
    const CNormalGraphContext& GetGraph() const { return m_Graph; }
    void SetDivision(int x, int y);
    int GetXDivision() { return m_Graph.GetFrame().GetFrame().GetXDivision(); }
    int GetYDivision() { return m_Graph.GetFrame().GetFrame().GetYDivision(); }
    // The logging trigger line's height in 12.20 (for the trigger line).
    int GetTriggerPosition() const { return m_TriggerPosition; }
    void SetTriggerPosition(int ratio) { m_TriggerPosition = ratio; }
    // The background colour of the graph.
    COLORREF GetBackgroundColor() const;
    // Shows text in the frame's title line (image outputs stamp the data time);
    // show FALSE puts the title back as it was.
    void SetTimeStamp(const CString& text, BOOL show);

    // The cursor, the five markers and the logging trigger line join the graph
    // as its children, drawn over the data lines. Markers get number k + 1,
    // identify value 50 and the hit-test flag, their readout lines stack below
    // the title and their bands go to the frame's blending background; the
    // trigger line gets identify value 60 and the hit-test flag. Each follows
    // dataLine. Until they are attached the gestures move only the free pointer.
    void AttachCursor(CCursolContext* cursor, CDataLineContext* dataLine);
    void AttachMarker(int k, CMarkerContext* marker, CDataLineContext* dataLine);
    void AttachTrigger(CLoggingTriggerContext* trigger, CDataLineContext* dataLine);
    CCursolContext* GetCursor() const { return m_pCursor; }
    // Marker k (1..5), or null.
    CMarkerContext* GetMarker(int k) const;
    CLoggingTriggerContext* GetTrigger() const { return m_pTrigger; }

    void SetReadoutFlags(int flags) override;
    void MarkerPeakSearch(int k) override;
    void MarkerNextPeak(int k) override;

protected:
    void MoveFreePointer(int x, int y) override;
    int GetMarkerIndex(CDrawContext* marker) override;
    BOOL IsOnMarkerMainPoint(int index, int x) override;
    void SetMarkerSelectMode(int index, int mode) override;
    void MoveMarker(int index, int selectMode, int x) override;
    void MoveTrigger(int y) override;
    BOOL HoverMarker(CDrawContext* marker) override;
    BOOL Highlight(CDrawContext* hovered) override;

    // Null until attached.
    CCursolContext* m_pCursor = nullptr;
    std::array<CMarkerContext*, kMarkers> m_pMarkers{};
    CLoggingTriggerContext* m_pTrigger = nullptr;

private:
    CNormalGraphContext m_Graph;
    std::array<CDrawObject, kDrawObjectCount> m_DrawObjects;
    int m_TriggerPosition = kDefaultTriggerPosition;
    bool m_SetUp = false;
    // The title while a time stamp is shown.
    CString m_SavedTitle;
    BYTE m_SavedTitleFlag = 1;
    bool m_StampShown = false;
};
