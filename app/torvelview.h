// CTorvelView: the client widget of an analysis window. It draws nothing
// itself: paint goes to the core, which renders its drawing through an
// off-screen image, and input goes to the core's view side.
#pragma once

#include <QWidget>

class CAnalysisCore;

class CTorvelView : public QWidget {
    Q_OBJECT
public:
    explicit CTorvelView(QWidget* parent = nullptr);
    void SetCore(CAnalysisCore* core) { m_core = core; }
    CAnalysisCore* GetCore() const { return m_core; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CAnalysisCore* m_core = nullptr;
};
