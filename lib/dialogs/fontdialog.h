// The standard font dialog for screen fonts with effects (underline,
// strikeout and, when asked for, a text colour), working on LOGFONT
// descriptions.
#pragma once

#include "platform/wintypes.h"

#include <QDialog>

class QFontDialog;
class QPushButton;

namespace LibDialog {

// Object names of the wrapper's parts, for code that drives it.
inline constexpr char kFontChooserName[] = "FontChooser";
inline constexpr char kFontColorButtonName[] = "FontColor";

class CFontChoiceDialog : public QDialog {
    Q_OBJECT
public:
    // With color null the dialog offers no colour choice.
    CFontChoiceDialog(QWidget* parent, const LOGFONT& font, const COLORREF* color);

    LOGFONT GetLogFont() const;
    COLORREF GetColor() const { return m_Color; }
    void SetColor(COLORREF color);

private:
    void ChooseTextColor();

    LOGFONT m_Base;
    COLORREF m_Color = 0;
    QFontDialog* m_pChooser = nullptr;
    QPushButton* m_pColorButton = nullptr;
};

// Opens the dialog at *font (and *color when not null). True on OK, with the
// choice written back; on Cancel nothing changes.
bool ChooseFont(QWidget* parent, LOGFONT* font, COLORREF* color);

} // namespace LibDialog
