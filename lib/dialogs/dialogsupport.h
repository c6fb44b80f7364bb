// Helpers shared by the library's dialogs: library texts as Qt strings,
// conversions between LOGFONT and QFont and between COLORREF and QColor, and
// the control ids that the dialogs' widgets carry as object names.
#pragma once

#include "platform/wintypes.h"

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace LibDialog {

// Ids of the OK and Cancel buttons, as in every dialog resource.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
// Library strings of the generic OK and Cancel captions.
constexpr int kTextOk = 66;
constexpr int kTextCancel = 67;
// Pixels per inch assumed where a size in points becomes a LOGFONT height.
constexpr int kPixelsPerInch = 96;

// Library string n (UTF-8 bytes) as a QString.
QString LibraryText(int n);
// Gives a widget its control id as object name.
void SetControlId(QWidget* widget, int id);

QFont ToQFont(const LOGFONT& font);
// The description of a chosen font; fields a QFont does not carry (width,
// escapement, character set, precisions, quality) are taken from base.
LOGFONT ToLOGFONT(const QFont& font, const LOGFONT& base);
// The library style font n (LOGFONT text of library string n) as a QFont.
QFont LibraryStyleFont(int n);

inline QColor ToQColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline COLORREF ToCOLORREF(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

// The standard colour dialog, fully open, starting at color. True on OK.
bool ChooseColor(QWidget* parent, COLORREF* color);

} // namespace LibDialog
