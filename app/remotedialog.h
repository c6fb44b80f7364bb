// CRemoteDialog: Options > Remote Control...: whether the SCPI server runs, its
// port, whether other computers may connect (else only this one), the access
// code clients must give, how long an idle client may stay, and the folder
// the remote file commands work in.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

class CRemoteDialog : public QDialog {
    Q_OBJECT
public:
    explicit CRemoteDialog(QWidget* parent = nullptr);

    void SetValues(bool enabled, int port, bool allowOthers);
    // codeSet: an access code is set now (it is not shown; left empty, the
    // field keeps it).
    // folder: the one set, empty for defaultFolder.
    void SetAccess(bool codeSet, int idleMinutes, const QString& folder,
                   const QString& defaultFolder);
    bool Enabled() const;
    int Port() const;
    bool AllowOthers() const;
    bool RequireCode() const;
    // The code typed; empty keeps the code set before.
    QString NewCode() const;
    int IdleMinutes() const;
    QString Folder() const;

private:
    QCheckBox* m_enabled;
    QSpinBox* m_port;
    QCheckBox* m_others;
    QCheckBox* m_requireCode;
    QLineEdit* m_code;
    QSpinBox* m_idle;
    QLineEdit* m_folder;
};
