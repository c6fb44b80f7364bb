// CLoggingBar: the logging bar at the top of an analysis window (dialog
// template 131, bar id 32771). It is hidden until logging starts; then it
// shows the target folder, the next output time and the end time, lights the
// REF indicator green when the traces restart after every output, and blinks
// its LOGGING button every 800 ms (timer 84235) through strings 27, 28, 29, 26.
// Pressing LOGGING ends the logging. Controls carry their dialog ids as object
// names ("1080" is the LOGGING button).
#pragma once

#include "analysis/loggingoutput.h"
#include "platform/msgwindow.h"

#include <QWidget>

#include <functional>

class CDrawObject;
class QLabel;
class QPushButton;

class CLoggingBar : public QWidget, public CWnd, public CLoggingDisplay {
    Q_OBJECT
public:
    static constexpr int kBarId = 32771;
    static constexpr UINT_PTR kBlinkTimerId = 84235; // 0x1490B
    static constexpr UINT kBlinkPeriodMs = 800;
    // The REF indicator's colour while refresh is on (green 220).
    static constexpr COLORREF kRefreshColor = 0x00DC00;

    explicit CLoggingBar(QWidget* parent = nullptr);

    // The bar shows in the background colour and font of the window's drawing
    // object.
    void SetLook(CDrawObject* drawObject);

    // Runs when the LOGGING button is pressed.
    std::function<void()> OnLoggingButton;

    // CLoggingDisplay
    void ShowLogging(const CString& folder, const CString& next, const CString& end,
                     bool refresh) override;
    void SetNextText(const CString& next) override;
    void HideLogging() override;
    // The failed file (string 34 before it, in red), or nothing once an output
    // succeeds.
    void SetOutputFailed(const CString& path) override;

    // One blink step: the counter advances and the button shows string
    // 26 + (counter & 3); past 3 the counter starts again at 0.
    void Blink();
    int BlinkCounter() const { return m_blinkCounter; }

    void OnTimer(UINT_PTR id) override;

private:
    QPushButton* m_logging = nullptr;
    QLabel* m_folder = nullptr;
    QLabel* m_next = nullptr;
    QLabel* m_endLabel = nullptr;
    QLabel* m_end = nullptr;
    QLabel* m_failed = nullptr;
    QLabel* m_ref = nullptr;
    int m_blinkCounter = 0;
};
