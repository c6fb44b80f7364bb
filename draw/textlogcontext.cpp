// The text log: an edit and two buttons placed inside a context.
#include "draw/textlogcontext.h"

#include "platform/gdiobjects.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

namespace {
void Place(QWidget* widget, const QRect& rect, bool repaint) {
    if (!widget || widget->geometry() == rect) {
        return;
    }
    widget->setGeometry(rect);
    if (repaint) {
        widget->update();
    }
}
} // namespace

CTextLogContext::CTextLogContext() = default;

CTextLogContext::~CTextLogContext() {
    delete m_Save.data();
    delete m_Clear.data();
    delete m_Edit.data();
}

WORD CTextLogContext::GetTypeCode() {
    return DrawType::kTextLogContext;
}

CString CTextLogContext::GetClassName() {
    return "CTextLogContext";
}

BOOL CTextLogContext::Create(QWidget* parent, const RECT& rect) {
    if (!parent) {
        return FALSE;
    }
    m_Rect = rect;
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QString::number(kIdEdit));
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_Edit = edit;
    auto* clear = new QPushButton(QStringLiteral("Clear"), parent);
    clear->setObjectName(QString::number(kIdClear));
    m_Clear = clear;
    auto* save = new QPushButton(QStringLiteral("Save"), parent);
    save->setObjectName(QString::number(kIdSave));
    m_Save = save;
    QObject::connect(clear, &QPushButton::clicked, [this] {
        if (OnCommand) {
            OnCommand(kIdClear);
        }
    });
    QObject::connect(save, &QPushButton::clicked, [this] {
        if (OnCommand) {
            OnCommand(kIdSave);
        }
    });
    Draw(nullptr, nullptr, nullptr);
    edit->show();
    clear->show();
    save->show();
    edit->update();
    return TRUE;
}

void CTextLogContext::SetFonts(CFont* editFont, CFont* buttonFont) {
    if (m_Edit && editFont && editFont->GetSafeHandle()) {
        m_Edit->setFont(editFont->GetQFont());
    }
    if (buttonFont && buttonFont->GetSafeHandle()) {
        if (m_Clear) {
            m_Clear->setFont(buttonFont->GetQFont());
        }
        if (m_Save) {
            m_Save->setFont(buttonFont->GetQFont());
        }
    }
}

void CTextLogContext::AppendText(const CString& text) {
    if (!m_Edit) {
        return;
    }
    QTextCursor cursor = m_Edit->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_Edit->setTextCursor(cursor);
    m_Edit->ensureCursorVisible();
    // The edit keeps "\n"; GetText gives every line end back as "\r\n".
    m_Edit->insertPlainText(QString::fromUtf8(text.c_str()) + QLatin1Char('\n'));
}

void CTextLogContext::ClearText() {
    if (m_Edit) {
        m_Edit->clear();
    }
}

CString CTextLogContext::GetText() const {
    if (!m_Edit) {
        return CString();
    }
    QString text = m_Edit->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return CString(text.toUtf8().toStdString());
}

void CTextLogContext::Draw(CDC* pDC, CDrawContext* parent, void* reserved) {
    if (pDC) {
        CDrawContext::Draw(pDC, parent, reserved);
    }
    if (!m_Edit) {
        return;
    }
    const int l = m_Rect.left, t = m_Rect.top, r = m_Rect.right, b = m_Rect.bottom;
    Place(m_Edit,
          QRect(QPoint(l + kMargin, t + kEditTop), QPoint(r - kMargin - 1, b - kMargin - 1)),
          false);
    const int editWidth = r - l - 2 * kMargin;
    const int clearRight = r - (editWidth / 2 + 8);
    const QRect clear(QPoint(l + kMargin, t + kButtonTop),
                      QPoint(clearRight - 1, t + kButtonBottom - 1));
    Place(m_Clear, clear, true);
    Place(m_Save, clear.translated(editWidth / 2 + 4, 0), true);
}
