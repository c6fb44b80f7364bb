// CAboutDlg: the about box with the analyser's firmware version and serial
// number, and the device library in use.
#pragma once

#include "platform/wintypes.h"

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(WORD firmware, WORD serial, QWidget* parent = nullptr);
};
