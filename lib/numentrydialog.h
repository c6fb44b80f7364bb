// The numeric entry dialog: an edit field with its unit beside it, and OK and
// Cancel. Its texts and fonts come from the string table; the controls carry
// their ids as object names ("2000" edit, "2001" unit, "1" OK, "2" Cancel).
#pragma once

#include "platform/cstring.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class CNumEntryDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;
    static constexpr int kIdEdit = 2000;
    static constexpr int kIdUnit = 2001;

    CNumEntryDialog(const CString& text, const char* unit, const char* title,
                    QWidget* parent = nullptr);

    // The edit field's text as it stands.
    CString EnteredText() const;
    // True when text starts with a number (after blanks); OK refuses others.
    static bool HasNumber(const CString& text);

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_edit = nullptr;
    QLabel* m_unit = nullptr;
};
