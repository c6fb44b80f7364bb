// Helpers shared by the library's dialogs.
#include "lib/dialogs/dialogsupport.h"

#include "lib/stringtable.h"
#include "lib/valuetext.h"
#include "platform/fontmatch.h"

#include <QColorDialog>
#include <QWidget>

namespace LibDialog {

QString LibraryText(int n) {
    const char* text = GetLibraryString(n);
    return QString::fromUtf8(text != nullptr ? text : "");
}

void SetControlId(QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
}

QFont ToQFont(const LOGFONT& lf) {
    return FontFromLogFont(lf);
}

LOGFONT ToLOGFONT(const QFont& font, const LOGFONT& base) {
    LOGFONT lf = base;
    if (font.pixelSize() > 0) {
        lf.lfHeight = -font.pixelSize();
    } else if (font.pointSizeF() > 0) {
        lf.lfHeight = -static_cast<LONG>(font.pointSizeF() * kPixelsPerInch / 72.0 + 0.5);
    }
    lf.lfWeight = static_cast<LONG>(font.weight());
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    const QByteArray face = font.family().toUtf8();
    ValueText::SetFaceName(&lf, face.constData(), static_cast<size_t>(face.size()));
    return lf;
}

QFont LibraryStyleFont(int n) {
    return ToQFont(GetLibraryStyleFont(n));
}

bool ChooseColor(QWidget* parent, COLORREF* color) {
    const QColor chosen = QColorDialog::getColor(ToQColor(*color), parent, QString(),
                                                 QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid()) {
        return false;
    }
    *color = ToCOLORREF(chosen);
    return true;
}

} // namespace LibDialog
