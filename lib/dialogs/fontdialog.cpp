// The font dialog: Qt's font chooser embedded with a text-colour button.
#include "lib/dialogs/fontdialog.h"

#include "lib/dialogs/dialogsupport.h"

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace LibDialog {

namespace {
// Library strings borrowed from the screen option dialog: "Font" and "Text colour".
constexpr int kTextTitle = 8;
constexpr int kTextColorButton = 7;
constexpr int kSwatchSize = 16;
} // namespace

CFontChoiceDialog::CFontChoiceDialog(QWidget* parent, const LOGFONT& font, const COLORREF* color)
    : QDialog(parent), m_Base(font) {
    setWindowTitle(LibraryText(kTextTitle));
    auto* layout = new QVBoxLayout(this);

    // The chooser lists sizes in points; a pixel height becomes the point size
    // that maps back onto it.
    QFont start = ToQFont(font);
    if (start.pixelSize() > 0) {
        start.setPointSizeF(start.pixelSize() * 72.0 / kPixelsPerInch);
    }
    m_pChooser = new QFontDialog(start, this);
    m_pChooser->setObjectName(kFontChooserName);
    m_pChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog |
                           QFontDialog::ScalableFonts | QFontDialog::NonScalableFonts);
    m_pChooser->setWindowFlags(Qt::Widget);
    layout->addWidget(m_pChooser);

    auto* row = new QHBoxLayout;
    if (color != nullptr) {
        m_pColorButton = new QPushButton(LibraryText(kTextColorButton), this);
        m_pColorButton->setObjectName(kFontColorButtonName);
        connect(m_pColorButton, &QPushButton::clicked, this, &CFontChoiceDialog::ChooseTextColor);
        row->addWidget(m_pColorButton);
        SetColor(*color);
    }
    row->addStretch();
    auto* ok = new QPushButton(LibraryText(kTextOk), this);
    auto* cancel = new QPushButton(LibraryText(kTextCancel), this);
    SetControlId(ok, kIdOk);
    SetControlId(cancel, kIdCancel);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
}

LOGFONT CFontChoiceDialog::GetLogFont() const {
    return ToLOGFONT(m_pChooser->currentFont(), m_Base);
}

void CFontChoiceDialog::SetColor(COLORREF color) {
    m_Color = color;
    if (m_pColorButton != nullptr) {
        QPixmap swatch(kSwatchSize, kSwatchSize);
        swatch.fill(ToQColor(color));
        m_pColorButton->setIcon(QIcon(swatch));
    }
}

void CFontChoiceDialog::ChooseTextColor() {
    COLORREF color = m_Color;
    if (ChooseColor(this, &color)) {
        SetColor(color);
    }
}

bool ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color) {
    CFontChoiceDialog dialog(parent, *font, color);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    *font = dialog.GetLogFont();
    if (color != nullptr) {
        *color = dialog.GetColor();
    }
    return true;
}

} // namespace LibDialog
