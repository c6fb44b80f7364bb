// NumEntryINT and NumEntryDOUBLE: ask for a number in the numeric entry dialog.
#include "lib/numentry.h"

#include "lib/numentrydialog.h"
#include "lib/valuetext.h"

#include <QApplication>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

constexpr int kCancelledInt = -1;
constexpr double kCancelledDouble = DBL_MAX;

// Numbers are shown and read with the C conventions (a point before the
// fraction) whatever the user's locale says.
class CNumericLocale {
public:
    CNumericLocale() : m_c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0))) {
        if (m_c)
            m_previous = uselocale(m_c);
    }
    ~CNumericLocale() {
        if (m_c) {
            uselocale(m_previous);
            freelocale(m_c);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_previous = static_cast<locale_t>(0);
};

// Shows the dialog over the active window; true when the user pressed OK.
bool askNumber(const CString& text, const char* unit, const char* title, CString* entered) {
    if (!QApplication::instance())
        return false;
    CNumEntryDialog dialog(text, unit, title, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *entered = dialog.EnteredText();
    return true;
}

} // namespace

int NumEntryINT(int value, const char* unit, const char* title) {
    CString text;
    text.Format("%u", static_cast<unsigned>(value));
    CString entered;
    if (!askNumber(text, unit, title, &entered))
        return kCancelledInt;
    // Read like "%u": a sign is allowed and the bits wrap; no number keeps the value.
    int number = 0;
    return ValueText::ScanInt(entered, &number) ? number : value;
}

double NumEntryDOUBLE(double value, const char* unit, const char* title) {
    CString text;
    {
        CNumericLocale c;
        text.Format("%g", value);
    }
    CString entered;
    if (!askNumber(text, unit, title, &entered))
        return kCancelledDouble;
    CNumericLocale c;
    return std::strtod(entered, nullptr); // no number reads as 0.0
}
