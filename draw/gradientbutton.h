// CGradientButton: an owner-drawn push button with a vertical colour gradient,
// a raised or sunken edge and a caption that wraps onto two lines at its first
// blank. It has three looks: disabled (-1), normal (0) and pressed (1). The
// button bars share one draw object among their buttons for font and colours;
// the gradient is drawn once per button size into a cached bitmap.
#pragma once

#include "platform/cstring.h"
#include "platform/gdiobjects.h"
#include "platform/geometry.h"
#include "platform/wintypes.h"

#include <QAbstractButton>

class CDC;
class CDrawObject;

class CGradientButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kBands = 12;
    static constexpr int kStateDisabled = -1;
    static constexpr int kStateNormal = 0;
    static constexpr int kStatePressed = 1;

    explicit CGradientButton(QWidget* parent = nullptr);
    ~CGradientButton() override;

    // Paints the button into item (the client rectangle in pDC's coordinates).
    void DrawItem(CDC* pDC, const RECT& item);

    void SetDrawObject(CDrawObject* drawObject) { m_pDrawObject = drawObject; }
    CDrawObject* GetDrawObject() const { return m_pDrawObject; }
    // 0: the draw object's background colour is the face colour.
    void SetFaceColor(COLORREF color) { m_FaceColor = color; }
    COLORREF GetFaceColor() const { return m_FaceColor; }
    void SetHighlightColor(COLORREF color) { m_HighlightColor = color; }
    COLORREF GetHighlightColor() const { return m_HighlightColor; }

    // The owner sets the state directly for latching buttons.
    void SetState(int state);
    int GetState() const { return m_State; }
    // Non-zero: the button stays pressed after a release and a pressed
    // button shows its caption in the draw object's line colour.
    void SetTickedFlag(int flag) { m_TickedFlag = flag; }
    int GetTickedFlag() const { return m_TickedFlag; }

    // The screen point for a pop-up menu: the middle of the button's top edge.
    POINT GetMenuPoint();
    // The point stored by the last paint (middle of the bottom edge) or query.
    POINT MenuPoint() const { return m_MenuPoint; }

    // How often the gradient bitmap has been built (it is kept per size and
    // device pixel ratio).
    int GradientBuildCount() const { return m_GradientBuilds; }

    // The button as it paints itself now, as an image of its size at a device
    // pixel ratio (the screen's when it paints).
    QImage RenderImage(double ratio = 1.0);

    // The click and release messages: the left button pressed on the button
    // (or a function key's click) and released again.
    void OnClickMessage();
    void OnReleaseMessage();

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;

private:
    void BuildGradient(CDC* pDC, const CRect& item, COLORREF face);
    void DrawCaption(CDC* pDC, const CRect& item);
    void DrawCaptionLine(CDC* pDC, int x, int y, const CString& line, CSize size, int width);
    // The line as it fits into a button of width: whole, shortened with "..",
    // or empty.
    static CString FitCaptionLine(CDC* pDC, const CString& line, int width);
    void RedrawNow();

    COLORREF m_HighlightColor;
    COLORREF m_FaceColor = 0;
    CDrawObject* m_pDrawObject = nullptr;
    int m_State = kStateNormal;
    int m_TickedFlag = 1;
    POINT m_MenuPoint{0, 0};
    CBitmap m_Gradient;
    CRect m_CachedSize;
    // The two colours the cached bitmap was blended from.
    COLORREF m_CachedFace = 0;
    COLORREF m_CachedHighlight = 0;
    double m_CachedRatio = 1.0;
    int m_GradientBuilds = 0;
};
