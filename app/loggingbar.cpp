// CLoggingBar: the logging bar's controls, texts and blinking.
#include "app/loggingbar.h"

#include "lib/drawobject.h"
#include "lib/stringtable.h"
#include "platform/fontmatch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kLoggingButtonId = 1080;
constexpr int kRefIndicatorId = 1026;
// Labels and their strings, then the texts they name.
constexpr int kFolderLabelId = 1020, kFolderTextId = 1021, kStrFolderLabel = 31;
constexpr int kNextLabelId = 1022, kNextTextId = 1023, kStrNextLabel = 32;
constexpr int kEndLabelId = 1024, kEndTextId = 1025, kStrEndLabel = 33;
constexpr int kFailedTextId = 1027, kStrOutputFailed = 34;
constexpr int kBlinkCounterLimit = 3;

QString TableText(int index) {
    const char* s = GetTorvelString(index);
    if (!s || CString(s) == "NotEntry")
        return QString();
    return QString::fromUtf8(s);
}

QString Q(const CString& s) {
    return QString::fromUtf8(s.c_str());
}

template <typename W> W* Control(QWidget* parent, int id, const QString& text) {
    auto* w = new W(text, parent);
    w->setObjectName(QString::number(id));
    return w;
}

} // namespace

CLoggingBar::CLoggingBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::number(kBarId));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    m_logging = Control<QPushButton>(this, kLoggingButtonId, TableText(kStrLoggingBlinkFirst));
    m_folder = Control<QLabel>(this, kFolderTextId, QString());
    m_next = Control<QLabel>(this, kNextTextId, QString());
    m_end = Control<QLabel>(this, kEndTextId, QString());
    m_endLabel = Control<QLabel>(this, kEndLabelId, TableText(kStrEndLabel));
    m_failed = Control<QLabel>(this, kFailedTextId, QString());
    m_failed->setStyleSheet("color: #C00000; font-weight: bold");
    m_failed->hide();
    m_ref = Control<QLabel>(this, kRefIndicatorId, "REF");
    m_ref->setAlignment(Qt::AlignCenter);
    m_ref->setMargin(2);
    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_logging);
    layout->addWidget(Control<QLabel>(this, kFolderLabelId, TableText(kStrFolderLabel)));
    layout->addWidget(m_folder, 1);
    layout->addWidget(Control<QLabel>(this, kNextLabelId, TableText(kStrNextLabel)));
    layout->addWidget(m_next);
    layout->addWidget(m_endLabel);
    layout->addWidget(m_end);
    layout->addWidget(m_failed);
    layout->addWidget(m_ref);
    connect(m_logging, &QPushButton::clicked, this, [this] {
        if (OnLoggingButton)
            OnLoggingButton();
        else
            HideLogging();
    });
}

void CLoggingBar::ShowLogging(const CString& folder, const CString& next, const CString& end,
                              bool refresh) {
    m_folder->setText(Q(folder));
    m_next->setText(Q(next));
    m_end->setText(Q(end));
    // Logging without a stop time has no end to show.
    m_endLabel->setVisible(!end.IsEmpty());
    m_end->setVisible(!end.IsEmpty());
    if (refresh) {
        QPalette palette = m_ref->palette();
        palette.setColor(
            QPalette::Window,
            QColor(GetRValue(kRefreshColor), GetGValue(kRefreshColor), GetBValue(kRefreshColor)));
        m_ref->setPalette(palette);
        m_ref->setAutoFillBackground(true);
    } else {
        m_ref->setPalette(QPalette());
        m_ref->setAutoFillBackground(false);
    }
    m_blinkCounter = 0;
    m_logging->setText(TableText(kStrLoggingBlinkFirst));
    show();
    SetTimer(kBlinkTimerId, kBlinkPeriodMs);
}

void CLoggingBar::SetLook(CDrawObject* drawObject) {
    if (!drawObject)
        return;
    const COLORREF back = drawObject->GetBackGroundColor();
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(GetRValue(back), GetGValue(back), GetBValue(back)));
    setPalette(palette);
    setAutoFillBackground(true);
    LOGFONT font;
    drawObject->GetLOGFONT(&font);
    setFont(FontFromLogFont(font));
}

void CLoggingBar::SetNextText(const CString& next) {
    m_next->setText(Q(next));
}

void CLoggingBar::SetOutputFailed(const CString& path) {
    m_failed->setText(path.IsEmpty() ? QString() : TableText(kStrOutputFailed) + " " + Q(path));
    m_failed->setToolTip(m_failed->text());
    m_failed->setVisible(!path.IsEmpty());
}

void CLoggingBar::HideLogging() {
    hide();
    KillTimer(kBlinkTimerId);
}

void CLoggingBar::Blink() {
    ++m_blinkCounter;
    m_logging->setText(TableText(kStrLoggingBlinkFirst + (m_blinkCounter & 3)));
    if (m_blinkCounter > kBlinkCounterLimit)
        m_blinkCounter = 0;
}

void CLoggingBar::OnTimer(UINT_PTR id) {
    if (id == kBlinkTimerId)
        Blink();
}
