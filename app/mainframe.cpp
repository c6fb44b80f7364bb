#include "mainframe.h"

#include <QMdiArea>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_mdi(new QMdiArea(this)) {
    setCentralWidget(m_mdi);
    setWindowTitle(QStringLiteral("Torvel"));
    resize(400, 400);
}

CMainFrame::~CMainFrame() = default;
