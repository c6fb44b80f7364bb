// The numeric entry dialog.
#include "lib/numentrydialog.h"

#include "lib/stringtable.h"
#include "platform/fontmatch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Library strings of the captions and styles.
constexpr int kFontEdit = 1;
constexpr int kFontUnit = 2;
constexpr int kTextOk = 66;
constexpr int kTextCancel = 67;
constexpr int kTextNotANumber = 90;

QString fromBytes(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

} // namespace

CNumEntryDialog::CNumEntryDialog(const CString& text, const char* unit, const char* title,
                                 QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::number(kIdEdit)); // the dialog resource shares the edit's number
    setWindowTitle(fromBytes(title));

    m_edit = new QLineEdit(fromBytes(text), this);
    m_edit->setObjectName(QString::number(kIdEdit));
    m_edit->setFont(FontFromLogFont(GetLibraryStyleFont(kFontEdit)));
    m_unit = new QLabel(fromBytes(unit), this);
    m_unit->setObjectName(QString::number(kIdUnit));
    m_unit->setFont(FontFromLogFont(GetLibraryStyleFont(kFontUnit)));
    // The field is labelled by its unit; its name says what is entered (the
    // dialog's title) in that unit.
    m_unit->setBuddy(m_edit);
    const QString what = fromBytes(title);
    m_edit->setAccessibleName(m_unit->text().isEmpty() || what.isEmpty()
                                  ? what + m_unit->text()
                                  : what + QStringLiteral(" (") + m_unit->text() +
                                        QLatin1Char(')'));

    auto* ok = new QPushButton(fromBytes(GetLibraryString(kTextOk)), this);
    ok->setObjectName(QString::number(kIdOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton(fromBytes(GetLibraryString(kTextCancel)), this);
    cancel->setObjectName(QString::number(kIdCancel));
    connect(ok, &QPushButton::clicked, this, &CNumEntryDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* entry = new QHBoxLayout;
    entry->addWidget(m_edit, 1);
    entry->addWidget(m_unit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(entry);
    layout->addLayout(buttons);
}

bool CNumEntryDialog::HasNumber(const CString& text) {
    // A number may have leading blanks, a sign, a fraction and an exponent,
    // and anything after it (a unit the user typed) is left over.
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    if (*p == '.')
        ++p;
    return *p >= '0' && *p <= '9';
}

void CNumEntryDialog::accept() {
    // Text without a number is refused with a word, and the entry stays open.
    if (!HasNumber(EnteredText())) {
        QMessageBox::warning(this, windowTitle(), fromBytes(GetLibraryString(kTextNotANumber)));
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    QDialog::accept();
}

CString CNumEntryDialog::EnteredText() const {
    return CString(m_edit->text().toUtf8().toStdString());
}

void CNumEntryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Typing replaces the shown value at once.
    m_edit->setFocus();
    m_edit->selectAll();
}
