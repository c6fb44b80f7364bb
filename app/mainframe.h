// CMainFrame: the program's MDI main window.
#pragma once

#include "platform/msgwindow.h"

#include <QMainWindow>

class QMdiArea;

class CMainFrame : public QMainWindow, public CWnd {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* mdiArea() const { return m_mdi; }

private:
    QMdiArea* m_mdi = nullptr;
};
