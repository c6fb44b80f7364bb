// CRemoteDialog: Options > Remote Control...: whether the SCPI server runs, its
// port, and whether other computers may connect (else only this one).
#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

class CRemoteDialog : public QDialog {
    Q_OBJECT
public:
    explicit CRemoteDialog(QWidget* parent = nullptr);

    void SetValues(bool enabled, int port, bool allowOthers);
    bool Enabled() const;
    int Port() const;
    bool AllowOthers() const;

private:
    QCheckBox* m_enabled;
    QSpinBox* m_port;
    QCheckBox* m_others;
};
