#include "remotedialog.h"

#include "app/programtext.h"
#include "lib/stringtable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
// Program texts of the dialog.
enum : int {
    kStrTitle = 2600,
    kStrEnabled = 2601,
    kStrPort = 2602,
    kStrAllowOthers = 2603,
    kStrNoteLocal = 2604,
    kStrNoteControl = 2605,
    kStrRequireCode = 2610,
    kStrCode = 2611,
    kStrCodeKept = 2612,
    kStrIdle = 2613,
    kStrFolder = 2614,
};
} // namespace

CRemoteDialog::CRemoteDialog(QWidget* parent)
    : QDialog(parent), m_enabled(new QCheckBox(ProgramText(kStrEnabled), this)),
      m_port(new QSpinBox(this)), m_others(new QCheckBox(ProgramText(kStrAllowOthers), this)),
      m_requireCode(new QCheckBox(ProgramText(kStrRequireCode), this)), m_code(new QLineEdit(this)),
      m_idle(new QSpinBox(this)), m_folder(new QLineEdit(this)) {
    setObjectName("RemoteDialog");
    setWindowTitle(ProgramText(kStrTitle));
    m_enabled->setObjectName("Enabled");
    m_port->setObjectName("Port");
    m_others->setObjectName("AllowOthers");
    m_requireCode->setObjectName("RequireCode");
    m_code->setObjectName("AccessCode");
    m_idle->setObjectName("IdleMinutes");
    m_folder->setObjectName("Folder");
    m_port->setRange(1, 65535);
    m_code->setEchoMode(QLineEdit::Password);
    m_idle->setRange(0, 24 * 60);
    m_folder->setMinimumWidth(m_folder->fontMetrics().averageCharWidth() * 40);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    form->addRow(ProgramText(kStrPort), m_port);
    layout->addLayout(form);
    layout->addWidget(m_others);
    layout->addWidget(m_requireCode);
    auto* more = new QFormLayout;
    more->addRow(ProgramText(kStrCode), m_code);
    more->addRow(ProgramText(kStrIdle), m_idle);
    more->addRow(ProgramText(kStrFolder), m_folder);
    layout->addLayout(more);
    auto* note = new QLabel(ProgramText(kStrNoteLocal) + "\n" + ProgramText(kStrNoteControl), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_enabled, &QCheckBox::toggled, m_port, &QWidget::setEnabled);
    connect(m_enabled, &QCheckBox::toggled, m_others, &QWidget::setEnabled);
    connect(m_requireCode, &QCheckBox::toggled, m_code, &QWidget::setEnabled);
}

void CRemoteDialog::SetValues(bool enabled, int port, bool allowOthers) {
    m_enabled->setChecked(enabled);
    m_port->setValue(port);
    m_others->setChecked(allowOthers);
    m_port->setEnabled(enabled);
    m_others->setEnabled(enabled);
}

void CRemoteDialog::SetAccess(bool codeSet, int idleMinutes, const QString& folder,
                              const QString& defaultFolder) {
    m_requireCode->setChecked(codeSet);
    m_code->setEnabled(codeSet);
    m_code->setPlaceholderText(codeSet ? ProgramText(kStrCodeKept) : QString());
    m_idle->setValue(idleMinutes);
    m_folder->setText(folder);
    m_folder->setPlaceholderText(defaultFolder);
}

bool CRemoteDialog::Enabled() const {
    return m_enabled->isChecked();
}
int CRemoteDialog::Port() const {
    return m_port->value();
}
bool CRemoteDialog::AllowOthers() const {
    return m_others->isChecked();
}
bool CRemoteDialog::RequireCode() const {
    return m_requireCode->isChecked();
}
QString CRemoteDialog::NewCode() const {
    return m_code->text();
}
int CRemoteDialog::IdleMinutes() const {
    return m_idle->value();
}
QString CRemoteDialog::Folder() const {
    return m_folder->text().trimmed();
}
