#include "app/publishdialog.h"

#include "app/programtext.h"
#include "lib/stringtable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
// Program texts of the dialog.
enum : int {
    kStrTitle = 2700,
    kStrEnabled = 2701,
    kStrHost = 2702,
    kStrPort = 2703,
    kStrTls = 2704,
    kStrCa = 2705,
    kStrCert = 2706,
    kStrKey = 2707,
    kStrUser = 2708,
    kStrPassword = 2709,
    kStrClientId = 2710,
    kStrPrefix = 2711,
    kStrAlarms = 2712,
    kStrReadings = 2713,
    kStrInterval = 2714,
    kStrBrowse = 2715,
    kStrAutomatic = 2716,
};

QLineEdit* fileField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}
} // namespace

CPublishDialog::CPublishDialog(QWidget* parent)
    : QDialog(parent), m_enabled(new QCheckBox(ProgramText(kStrEnabled), this)),
      m_host(new QLineEdit(this)), m_port(new QSpinBox(this)),
      m_tls(new QCheckBox(ProgramText(kStrTls), this)), m_ca(fileField(this, "CaFile")),
      m_cert(fileField(this, "CertFile")), m_key(fileField(this, "KeyFile")),
      m_user(new QLineEdit(this)), m_password(new QLineEdit(this)), m_clientId(new QLineEdit(this)),
      m_prefix(new QLineEdit(this)), m_alarms(new QCheckBox(ProgramText(kStrAlarms), this)),
      m_readings(new QCheckBox(ProgramText(kStrReadings), this)),
      m_interval(new QDoubleSpinBox(this)) {
    setObjectName("PublishDialog");
    setWindowTitle(ProgramText(kStrTitle));
    m_enabled->setObjectName("Enabled");
    m_host->setObjectName("Host");
    m_port->setObjectName("Port");
    m_tls->setObjectName("Tls");
    m_user->setObjectName("User");
    m_password->setObjectName("Password");
    m_password->setEchoMode(QLineEdit::Password);
    m_clientId->setObjectName("ClientId");
    m_prefix->setObjectName("TopicPrefix");
    m_alarms->setObjectName("Alarms");
    m_readings->setObjectName("Readings");
    m_interval->setObjectName("Interval");
    m_port->setRange(1, 65535);
    m_interval->setDecimals(1);
    m_interval->setRange(CPublishSettings::kMinIntervalMs / 1000.0,
                         CPublishSettings::kMaxIntervalMs / 1000.0);
    m_interval->setSuffix(" s");
    // What the empty fields stand for.
    const CPublishSettings defaults;
    m_clientId->setPlaceholderText(ProgramText(kStrAutomatic) + ": " + defaults.ClientId());
    m_prefix->setPlaceholderText(defaults.Prefix());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    auto* form = new QFormLayout;
    form->addRow(ProgramText(kStrHost), m_host);
    form->addRow(ProgramText(kStrPort), m_port);
    form->addRow(QString(), m_tls);
    auto addFile = [&](int label, QLineEdit* edit) {
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        auto* browse = new QPushButton(ProgramText(kStrBrowse), this);
        browse->setObjectName(edit->objectName() + "Browse");
        connect(browse, &QPushButton::clicked, this, [this, edit] {
            const QString path = QFileDialog::getOpenFileName(this, QString(), edit->text());
            if (!path.isEmpty())
                edit->setText(path);
        });
        m_browse.push_back(browse);
        row->addWidget(browse);
        // The label's letter reaches the file's field.
        auto* caption = new QLabel(ProgramText(label), this);
        caption->setBuddy(edit);
        form->addRow(caption, row);
    };
    addFile(kStrCa, m_ca);
    addFile(kStrCert, m_cert);
    addFile(kStrKey, m_key);
    form->addRow(ProgramText(kStrUser), m_user);
    form->addRow(ProgramText(kStrPassword), m_password);
    form->addRow(ProgramText(kStrClientId), m_clientId);
    form->addRow(ProgramText(kStrPrefix), m_prefix);
    form->addRow(QString(), m_alarms);
    form->addRow(QString(), m_readings);
    form->addRow(ProgramText(kStrInterval), m_interval);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_enabled, &QCheckBox::toggled, this, &CPublishDialog::enableFields);
    connect(m_tls, &QCheckBox::toggled, this, &CPublishDialog::enableFields);
    connect(m_readings, &QCheckBox::toggled, this, &CPublishDialog::enableFields);
    connect(m_tls, &QCheckBox::toggled, this, [this](bool on) {
        // The usual port of the other kind of link, unless the user chose one.
        if (on && m_port->value() == CPublishSettings::kDefaultPort)
            m_port->setValue(CPublishSettings::kDefaultTlsPort);
        else if (!on && m_port->value() == CPublishSettings::kDefaultTlsPort)
            m_port->setValue(CPublishSettings::kDefaultPort);
    });
}

void CPublishDialog::enableFields() {
    const bool on = m_enabled->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_host), static_cast<QWidget*>(m_port),
                       static_cast<QWidget*>(m_tls), static_cast<QWidget*>(m_user),
                       static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_clientId),
                       static_cast<QWidget*>(m_prefix), static_cast<QWidget*>(m_alarms),
                       static_cast<QWidget*>(m_readings)})
        w->setEnabled(on);
    for (QLineEdit* w : {m_ca, m_cert, m_key})
        w->setEnabled(on && m_tls->isChecked());
    for (QPushButton* b : m_browse)
        b->setEnabled(on && m_tls->isChecked());
    m_interval->setEnabled(on && m_readings->isChecked());
}

void CPublishDialog::SetValues(const CPublishSettings& s) {
    m_enabled->setChecked(s.enabled);
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_tls->blockSignals(true);
    m_tls->setChecked(s.tls);
    m_tls->blockSignals(false);
    m_ca->setText(s.caFile);
    m_cert->setText(s.certFile);
    m_key->setText(s.keyFile);
    m_user->setText(s.user);
    m_password->setText(s.password);
    m_clientId->setText(s.clientId);
    m_prefix->setText(s.topicPrefix);
    m_alarms->setChecked(s.alarms);
    m_readings->setChecked(s.readings);
    m_interval->setValue(s.readingIntervalMs / 1000.0);
    enableFields();
}

CPublishSettings CPublishDialog::Values() const {
    CPublishSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.tls = m_tls->isChecked();
    s.caFile = m_ca->text().trimmed();
    s.certFile = m_cert->text().trimmed();
    s.keyFile = m_key->text().trimmed();
    s.user = m_user->text();
    s.password = m_password->text();
    s.clientId = m_clientId->text().trimmed();
    s.topicPrefix = m_prefix->text().trimmed();
    s.alarms = m_alarms->isChecked();
    s.readings = m_readings->isChecked();
    s.readingIntervalMs = static_cast<int>(std::lround(m_interval->value() * 1000.0));
    return s;
}
