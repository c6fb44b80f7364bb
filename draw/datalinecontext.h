// CDataLineContext: a trace of a graph. It is a context (rectangle, draw object
// whose pen draws the trace) and a trace store (samples and point arrays) at
// once. Each draw maps the samples inside its frequency window onto at most one
// point per pixel column and draws them as one polyline.
#pragma once

#include "draw/drawcontext.h"
#include "trace/tracestore.h"

class CDataLineContext : public CDrawContext, public CTraceStore {
public:
    CDataLineContext();
    ~CDataLineContext() override;

    // Maps the samples (nothing without a window) and draws the chained
    // stores' point arrays, then its own, and the peak mark when asked.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;
    // The trace store's four keys, then "RedrawFlag" and "IdentifyValue", in
    // the same section; TRUE only when both halves succeeded.
    BOOL WriteSetting(CString section) override;
    BOOL ReadSetting(CString section) override;

    using CTraceStore::MakePoints;
    // The point mapping for rect (null: this context's rectangle) and the
    // window; factors receives (x factor, y factor), 0 when nothing was mapped.
    virtual void MakePoints(SIZE* factors, const RECT* rect);
    using CTraceStore::MakeColumnPoints;
    // MakeColumnPoints for rect and the window.
    int MakeColumnPoints(const RECT& rect, POINT* out) {
        return MakeColumnPoints(rect, m_XMin, m_XMax, m_YMax, m_YMin, out);
    }
    // TRUE when a sample inside the window is above level (dB).
    virtual BOOL ExceedsLevel(double level);

    // 0 below x min, the fraction of the window up to x max, 1 above.
    double XRatio(double x) const;
    // The window the graph's scale gives: x in the store's unit, y in dB.
    void SetWindow(int xMin, int xMax, double yMax, double yMin);
    int GetXMin() const { return m_XMin; }
    int GetXMax() const { return m_XMax; }
    double GetYMax() const { return m_YMax; }
    double GetYMin() const { return m_YMin; }
    void SetPeakMarkFlag(int flag) { m_PeakMarkFlag = flag; }
    int GetPeakMarkFlag() const { return m_PeakMarkFlag; }

private:
    int m_XMin = 0;
    int m_XMax = 0;
    double m_YMax = 0.0;
    double m_YMin = 0.0;
    int m_PeakMarkFlag = 0;
};
