#include "remotedialog.h"

#include "lib/stringtable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
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
};

QString text(int index) {
    const char* s = GetTorvelString(index);
    return QString::fromUtf8(s ? s : "");
}
} // namespace

CRemoteDialog::CRemoteDialog(QWidget* parent)
    : QDialog(parent), m_enabled(new QCheckBox(text(kStrEnabled), this)),
      m_port(new QSpinBox(this)), m_others(new QCheckBox(text(kStrAllowOthers), this)) {
    setObjectName("RemoteDialog");
    setWindowTitle(text(kStrTitle));
    m_enabled->setObjectName("Enabled");
    m_port->setObjectName("Port");
    m_others->setObjectName("AllowOthers");
    m_port->setRange(1, 65535);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    form->addRow(text(kStrPort), m_port);
    layout->addLayout(form);
    layout->addWidget(m_others);
    auto* note = new QLabel(text(kStrNoteLocal) + "\n" + text(kStrNoteControl), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_enabled, &QCheckBox::toggled, m_port, &QWidget::setEnabled);
    connect(m_enabled, &QCheckBox::toggled, m_others, &QWidget::setEnabled);
}

void CRemoteDialog::SetValues(bool enabled, int port, bool allowOthers) {
    m_enabled->setChecked(enabled);
    m_port->setValue(port);
    m_others->setChecked(allowOthers);
    m_port->setEnabled(enabled);
    m_others->setEnabled(enabled);
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
