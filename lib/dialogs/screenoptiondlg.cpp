// The screen option dialog.
#include "lib/dialogs/screenoptiondlg.h"

#include "lib/dialogs/dialogsupport.h"
#include "lib/dialogs/fontdialog.h"
#include "lib/stringtable.h"
#include "platform/dc.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace ScreenOptionIds;

namespace {
// The dialog resource id (the dialog's object name), its library strings and style fonts.
constexpr int kDialogResource = 2001;
constexpr int kTextTitle = 3;
constexpr int kTextBackground = 4;
constexpr int kTextLine = 5;
constexpr int kTextBrush = 6;
constexpr int kTextText = 7;
constexpr int kTextFont = 8;
constexpr int kTextWidthFormat = 9;
constexpr int kTextSample = 10;
constexpr int kStyleListFont = 11;
constexpr int kTextLabel = 12;
constexpr int kTextLineStyles = 13;

constexpr int kLineStyleCount = 5; // solid, dash, dot, dash-dot, dash-dot-dot
constexpr int kPreviewWidth = 160;
constexpr int kPreviewHeight = 32;
constexpr int kLineInset = 8;

// Button order in m_pButtons, and the mask bit that enables each.
struct ButtonInfo {
    int id;
    int text;
    unsigned mask;
};
constexpr ButtonInfo kButtons[5] = {
    {kBackgroundButton, kTextBackground, CDrawObject::kMaskBackground},
    {kLineButton, kTextLine, CDrawObject::kMaskLine},
    {kBrushButton, kTextBrush, CDrawObject::kMaskBrush},
    {kTextButton, kTextText, CDrawObject::kMaskText},
    {kFontButton, kTextFont, CDrawObject::kMaskFont},
};

} // namespace

CUpDownControl::CUpDownControl(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    lineEdit()->setReadOnly(true);
    lineEdit()->setFrame(false);
    setFixedWidth(sizeHint().height());
}

void CUpDownControl::stepBy(int steps) {
    if (steps != 0) {
        Q_EMIT Stepped(steps > 0 ? 1 : -1);
    }
}

CDrawObjectPreview::CDrawObjectPreview(Kind kind, QWidget* parent) : QWidget(parent), m_Kind(kind) {
    setMinimumSize(kPreviewWidth, kPreviewHeight);
}

void CDrawObjectPreview::SetDrawObject(CDrawObject* object) {
    m_pObject = object;
    update();
}

void CDrawObjectPreview::SetText(const CString& text) {
    m_Text = text;
    update();
}

void CDrawObjectPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_pObject == nullptr) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // What the object will look like once its pending values are applied,
    // drawn the way the graphs draw.
    CDC dc(&painter);
    const CRect area(0, 0, width(), height());
    dc.FillSolidRect(&area, m_pObject->GetUpdateBkColor());
    if (m_Kind == Kind::Line) {
        LOGPEN logPen;
        m_pObject->GetLOGPEN(&logPen);
        CPen pen;
        pen.CreatePenIndirect(&logPen);
        CPen* old = dc.SelectObject(&pen);
        const int y = area.Height() / 2;
        dc.MoveTo(kLineInset, y);
        dc.LineTo(area.Width() - kLineInset, y);
        dc.SelectObject(old);
    } else {
        LOGFONT logFont;
        m_pObject->GetLOGFONT(&logFont);
        CFont font;
        font.CreateFontIndirect(&logFont);
        CFont* old = dc.SelectObject(&font);
        dc.SetTextColor(m_pObject->GetUpdateTextColor());
        dc.SetBkMode(TRANSPARENT);
        CRect box = area;
        dc.DrawText(m_Text, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        dc.SelectObject(old);
    }
    dc.Detach();
}

CScreenOptionDlg::CScreenOptionDlg(CDrawObjectList* list, QWidget* parent) : QDialog(parent) {
    if (list != nullptr) {
        for (CDrawObject* object : *list) {
            if (object != nullptr) {
                m_Objects.push_back(object);
            }
        }
    }
    for (CDrawObject* head : m_Objects) {
        for (CDrawObject* o = head; o != nullptr; o = o->GetUpdateLink()) {
            const bool known = std::any_of(m_Saved.begin(), m_Saved.end(),
                                           [o](const auto& saved) { return saved.first == o; });
            if (!known) {
                m_Saved.emplace_back(o, o->GetStagedAttributes());
            }
        }
    }

    LibDialog::SetControlId(this, kDialogResource);
    setWindowTitle(LibDialog::LibraryText(kTextTitle));
    auto* layout = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    auto* label = new QLabel(LibDialog::LibraryText(kTextLabel), this);
    LibDialog::SetControlId(label, kLabel);
    m_pList = new QListWidget(this);
    LibDialog::SetControlId(m_pList, kList);
    m_pList->setFont(LibDialog::LibraryStyleFont(kStyleListFont));
    for (CDrawObject* object : m_Objects) {
        m_pList->addItem(QString::fromUtf8(object->GetTitleString()));
    }
    // A list is named by its own name, not by a buddy.
    label->setBuddy(m_pList);
    m_pList->setAccessibleName(label->text().remove(QLatin1Char('&')));
    left->addWidget(label);
    left->addWidget(m_pList, 1);
    layout->addLayout(left, 1);

    auto* right = new QGridLayout;
    for (int i = 0; i < 5; ++i) {
        m_pButtons[i] = new QPushButton(LibDialog::LibraryText(kButtons[i].text), this);
        LibDialog::SetControlId(m_pButtons[i], kButtons[i].id);
        right->addWidget(m_pButtons[i], i, 0, 1, 3);
    }
    connect(m_pButtons[0], &QPushButton::clicked, this, &CScreenOptionDlg::OnBackground);
    connect(m_pButtons[1], &QPushButton::clicked, this, &CScreenOptionDlg::OnLine);
    connect(m_pButtons[2], &QPushButton::clicked, this, &CScreenOptionDlg::OnBrush);
    connect(m_pButtons[3], &QPushButton::clicked, this, &CScreenOptionDlg::OnText);
    connect(m_pButtons[4], &QPushButton::clicked, this, &CScreenOptionDlg::OnFont);

    m_pLineStyle = new QComboBox(this);
    LibDialog::SetControlId(m_pLineStyle, kLineStyle);
    const QStringList styles = LibDialog::LibraryText(kTextLineStyles).split(QLatin1Char(','));
    for (int i = 0; i < kLineStyleCount; ++i) {
        m_pLineStyle->addItem(i < styles.size() ? styles[i] : QString());
    }
    right->addWidget(m_pLineStyle, 5, 0, 1, 3);

    m_pLineWidth = new QLabel(this);
    LibDialog::SetControlId(m_pLineWidth, kLineWidth);
    m_pLineWidthSpin = new CUpDownControl(this);
    LibDialog::SetControlId(m_pLineWidthSpin, kLineWidthSpin);
    // The width shown labels the control that changes it.
    m_pLineWidth->setBuddy(m_pLineWidthSpin);
    right->addWidget(m_pLineWidth, 6, 0, 1, 2);
    right->addWidget(m_pLineWidthSpin, 6, 2);

    m_pLinePreview = new CDrawObjectPreview(CDrawObjectPreview::Kind::Line, this);
    LibDialog::SetControlId(m_pLinePreview, kLinePreview);
    m_pTextPreview = new CDrawObjectPreview(CDrawObjectPreview::Kind::Text, this);
    LibDialog::SetControlId(m_pTextPreview, kTextPreview);
    m_pTextPreview->SetText(CString(GetLibraryString(kTextSample)));
    right->addWidget(m_pLinePreview, 7, 0, 1, 3);
    right->addWidget(m_pTextPreview, 8, 0, 1, 3);

    auto* ok = new QPushButton(LibDialog::LibraryText(LibDialog::kTextOk), this);
    auto* cancel = new QPushButton(LibDialog::LibraryText(LibDialog::kTextCancel), this);
    LibDialog::SetControlId(ok, LibDialog::kIdOk);
    LibDialog::SetControlId(cancel, LibDialog::kIdCancel);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    right->addWidget(ok, 9, 1);
    right->addWidget(cancel, 9, 2);
    right->setRowStretch(10, 1);
    layout->addLayout(right);

    connect(m_pList, &QListWidget::currentRowChanged, this, &CScreenOptionDlg::OnSelect);
    connect(m_pLineStyle, &QComboBox::activated, this, &CScreenOptionDlg::OnLineStyle);
    connect(m_pLineWidthSpin, &CUpDownControl::Stepped, this, &CScreenOptionDlg::OnLineWidth);
    if (m_Objects.empty()) {
        OnSelect(-1);
    } else {
        m_pList->setCurrentRow(0);
    }
}

void CScreenOptionDlg::OnSelect(int row) {
    m_pCurrent = row >= 0 && row < static_cast<int>(m_Objects.size()) ? m_Objects[row] : nullptr;
    const unsigned mask = m_pCurrent != nullptr ? m_pCurrent->GetMask() : 0;
    for (int i = 0; i < 5; ++i) {
        m_pButtons[i]->setEnabled((mask & kButtons[i].mask) != 0);
    }
    m_pLineStyle->setEnabled(m_pCurrent != nullptr);
    m_pLineWidthSpin->setEnabled(m_pCurrent != nullptr);
    Show();
}

void CScreenOptionDlg::Show() {
    m_pLinePreview->SetDrawObject(m_pCurrent);
    m_pTextPreview->SetDrawObject(m_pCurrent);
    if (m_pCurrent == nullptr) {
        m_pLineWidth->clear();
        return;
    }
    LOGPEN pen;
    m_pCurrent->GetLOGPEN(&pen);
    CString width;
    width.Format(CheckedFormat(GetLibraryString(kTextWidthFormat), "d", "%d"),
                 static_cast<int>(pen.lopnWidth.x));
    m_pLineWidth->setText(QString::fromUtf8(width.c_str()));
    const UINT style = pen.lopnStyle;
    m_pLineStyle->setCurrentIndex(style >= PS_DASH && style <= PS_DASHDOTDOT ? style : 0);
}

void CScreenOptionDlg::OnBackground() {
    if (m_pCurrent == nullptr) {
        return;
    }
    COLORREF color = m_pCurrent->GetUpdateBkColor();
    if (LibDialog::ChooseColor(this, &color)) {
        m_pCurrent->SetUpdateBkColor(color);
        Show();
    }
}

void CScreenOptionDlg::OnText() {
    if (m_pCurrent == nullptr) {
        return;
    }
    COLORREF color = m_pCurrent->GetUpdateTextColor();
    if (LibDialog::ChooseColor(this, &color)) {
        m_pCurrent->SetUpdateTextColor(color);
        Show();
    }
}

void CScreenOptionDlg::OnBrush() {
    if (m_pCurrent == nullptr) {
        return;
    }
    LOGBRUSH brush;
    m_pCurrent->GetLOGBRUSH(&brush);
    if (LibDialog::ChooseColor(this, &brush.lbColor)) {
        m_pCurrent->SetUpdateLOGBRUSH(&brush);
        Show();
    }
}

void CScreenOptionDlg::OnLine() {
    if (m_pCurrent == nullptr) {
        return;
    }
    LOGPEN pen;
    m_pCurrent->GetLOGPEN(&pen);
    if (LibDialog::ChooseColor(this, &pen.lopnColor)) {
        m_pCurrent->SetUpdateLOGPEN(&pen);
        Show();
    }
}

void CScreenOptionDlg::OnFont() {
    if (m_pCurrent == nullptr) {
        return;
    }
    LOGFONT font;
    m_pCurrent->GetLOGFONT(&font);
    if (LibDialog::ChooseFont(this, &font, nullptr)) {
        m_pCurrent->SetUpdateLOGFONT(&font);
        Show();
    }
}

void CScreenOptionDlg::OnLineStyle(int index) {
    if (m_pCurrent == nullptr || index < 0 || index >= kLineStyleCount) {
        return;
    }
    LOGPEN pen;
    m_pCurrent->GetLOGPEN(&pen);
    pen.lopnStyle = static_cast<UINT>(index);
    m_pCurrent->SetUpdateLOGPEN(&pen);
    Show();
}

void CScreenOptionDlg::OnLineWidth(int steps) {
    if (m_pCurrent == nullptr) {
        return;
    }
    LOGPEN pen;
    m_pCurrent->GetLOGPEN(&pen);
    if (steps > 0 && pen.lopnWidth.x < kMaxLineWidth) {
        ++pen.lopnWidth.x;
    } else if (steps < 0 && pen.lopnWidth.x > kMinLineWidth) {
        --pen.lopnWidth.x;
    } else {
        return;
    }
    m_pCurrent->SetUpdateLOGPEN(&pen);
    Show();
}

void CScreenOptionDlg::accept() {
    for (CDrawObject* object : m_Objects) {
        object->SetUpdateFlag();
    }
    QDialog::accept();
}

void CScreenOptionDlg::reject() {
    for (const auto& [object, staged] : m_Saved) {
        object->RestoreStagedAttributes(staged);
    }
    QDialog::reject();
}

void DoModalScreenOptionDlg(CDrawObjectList* list) {
    CScreenOptionDlg dialog(list, QApplication::activeWindow());
    dialog.exec();
}
