// CMainFrame: publishing to an MQTT broker: its start and stop, the alarm
// listener it puts in front of the windows' alarms, its state in the status
// bar and its dialog.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/publishbridge.h"
#include "app/publishdialog.h"
#include "app/torvelapp.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

CAlarmListener* CMainFrame::GetAlarmListener() {
    if (m_publish)
        return m_publish.get();
    return m_alarmListener;
}

void CMainFrame::SetAlarmListener(CAlarmListener* listener) {
    m_alarmListener = listener;
    if (m_publish)
        m_publish->SetNext(listener);
}

QString CMainFrame::SpoolPath() {
    return CTorvelApp::UserFolder() + "/mqtt-alarms.journal";
}

bool CMainFrame::StartPublishing(const CPublishSettings& settings, QString* error) {
    StopPublishing();
    auto bridge = std::make_unique<CPublishBridge>(
        [this] { return RemoteWindows(); },
        [this](CAnalysisCore* core) { return RemoteWindowTitle(core); });
    bridge->SetNext(m_alarmListener);
    CMqttPublisher& publisher = bridge->Publisher();
    connect(&publisher, &CMqttPublisher::StateChanged, this, [this] {
        if (!m_publish)
            return;
        if (!m_publishStatus) {
            m_publishStatus = new QLabel(this);
            m_publishStatus->setObjectName("PublishStatus");
            statusBar()->addPermanentWidget(m_publishStatus);
        }
        m_publishStatus->setText(m_publish->Publisher().StateText());
        m_publishStatus->show();
        statusBar()->show();
    });
    // The user folder is made when a run in the current directory publishes.
    QDir().mkpath(QFileInfo(SpoolPath()).absolutePath());
    if (!bridge->Start(settings, SpoolPath(), error))
        return false;
    m_publish = std::move(bridge);
    m_publish->Publisher().StateChanged();
    return true;
}

void CMainFrame::StopPublishing() {
    if (!m_publish)
        return;
    m_publish->Stop();
    m_publish.reset();
    if (m_publishStatus)
        m_publishStatus->hide();
}

void CMainFrame::ShowPublishDialog() {
    CPublishDialog dlg(this);
    CPublishSettings current =
        m_publish ? m_publish->Publisher().Settings() : CPublishSettings::FromProfile();
    current.enabled = m_publish != nullptr;
    dlg.SetValues(current);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The choice holds for the next start too.
    const CPublishSettings chosen = dlg.Values();
    chosen.ToProfile();
    if (!chosen.enabled) {
        StopPublishing();
        return;
    }
    QString error;
    if (!StartPublishing(chosen, &error))
        m_messageBox(CString(error.toUtf8().toStdString()));
}
