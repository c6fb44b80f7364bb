// CTextLogContext: a text log inside an analysis window: a multi-line edit
// with "Clear" and "Save" buttons, laid out in the context's rectangle on every
// draw. The owning window handles the two buttons' commands.
#pragma once

#include "draw/drawcontext.h"

#include <QPointer>

#include <functional>

class CFont;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class CTextLogContext : public CDrawContext {
public:
    // Control ids: the buttons' commands and the edit.
    static constexpr UINT kIdSave = 37001;
    static constexpr UINT kIdClear = 37002;
    static constexpr UINT kIdEdit = 37003;
    // Layout: the edit keeps this margin left, right and bottom, and starts
    // below the button strip.
    static constexpr int kMargin = 6;
    static constexpr int kEditTop = 34;
    static constexpr int kButtonTop = 4;
    static constexpr int kButtonBottom = 30;

    CTextLogContext();
    // The controls go with the context.
    ~CTextLogContext() override;

    // Lays out the controls when they exist.
    void Draw(CDC* pDC, CDrawContext* parent, void* reserved) override;
    WORD GetTypeCode() override;
    CString GetClassName() override;

    // Creates the edit and the two buttons as children of parent, shows them
    // and redraws the edit. FALSE when there is no parent window.
    BOOL Create(QWidget* parent, const RECT& rect);
    void SetFonts(CFont* editFont, CFont* buttonFont);
    // Appends text and a line end at the end of the log and scrolls to it.
    void AppendText(const CString& text);
    void ClearText();
    // The whole log; every line ends with "\r\n".
    CString GetText() const;

    // Receives kIdSave or kIdClear when a button is pressed.
    std::function<void(UINT)> OnCommand;

    QPlainTextEdit* GetEdit() const { return m_Edit; }
    QPushButton* GetClearButton() const { return m_Clear; }
    QPushButton* GetSaveButton() const { return m_Save; }

private:
    QPointer<QPlainTextEdit> m_Edit;
    QPointer<QPushButton> m_Clear;
    QPointer<QPushButton> m_Save;
};
