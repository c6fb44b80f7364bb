#include "remotedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

CRemoteDialog::CRemoteDialog(QWidget* parent)
    : QDialog(parent), m_enabled(new QCheckBox("&Listen for SCPI clients (raw socket)", this)),
      m_port(new QSpinBox(this)),
      m_others(new QCheckBox("&Accept connections from other computers", this)) {
    setObjectName("RemoteDialog");
    setWindowTitle("Remote Control");
    m_enabled->setObjectName("Enabled");
    m_port->setObjectName("Port");
    m_others->setObjectName("AllowOthers");
    m_port->setRange(1, 65535);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    form->addRow("&Port:", m_port);
    layout->addLayout(form);
    layout->addWidget(m_others);
    auto* note = new QLabel("Without the second box only programs on this computer can connect.\n"
                            "Anyone who can connect can control the analyser.",
                            this);
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
