// CPublishDialog: Options > Publishing...: whether the program publishes its
// alarms and read-outs to an MQTT broker, the broker and how to reach it (TLS,
// user and password), the client id and topic prefix, what is published and
// how often.
#pragma once

#include "publish/publishsettings.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CPublishDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPublishDialog(QWidget* parent = nullptr);

    void SetValues(const CPublishSettings& settings);
    CPublishSettings Values() const;

private:
    void enableFields();

    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QCheckBox* m_tls;
    QLineEdit* m_ca;
    QLineEdit* m_cert;
    QLineEdit* m_key;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_clientId;
    QLineEdit* m_prefix;
    QCheckBox* m_alarms;
    QCheckBox* m_readings;
    QDoubleSpinBox* m_interval;
    // The TLS files' Browse buttons, on with TLS.
    std::vector<QPushButton*> m_browse;
};
