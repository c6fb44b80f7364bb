// The offset dialog: chooses a level-offset file, shows its table as a curve
// and hands the loaded table to the caller.
#pragma once

#include "lib/dialogs/offsettable.h"
#include "platform/cstring.h"

#include <QDialog>
#include <QWidget>

class QLabel;
class QPushButton;

// Control ids of the dialog.
namespace OffsetDialogIds {
constexpr int kFileName = 1054;
constexpr int kLoadButton = 1055;
constexpr int kPreview = 1057;
constexpr int kLabel = 2023;
constexpr int kSwitchOffButton = 1058;
} // namespace OffsetDialogIds

// The dialog's result when the user switched the correction off.
constexpr int kOffsetDialogSwitchedOff = 2;

// The preview: the table as a curve over 0 … 3199 MHz, with the 0 dB line.
class COffsetPreview : public QWidget {
    Q_OBJECT
public:
    explicit COffsetPreview(QWidget* parent = nullptr);
    // Null shows an empty preview.
    void SetTable(const OffsetTable::Table* table);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const OffsetTable::Table* m_pTable = nullptr;
};

class COffsetDlg : public QDialog {
    Q_OBJECT
public:
    // Works on a copy of table; an empty name stands for no file.
    COffsetDlg(const short* table, const CString& fileName, QWidget* parent = nullptr);

    const OffsetTable::Table& GetTable() const { return m_Table; }
    const CString& GetFileName() const { return m_FileName; }
    bool HasTable() const { return m_Loaded; }

    // Loads a file into the copy; on failure the name reverts to "no file".
    bool Load(const CString& path);

private:
    void OnLoadButton();
    void Refresh();

    OffsetTable::Table m_Table;
    CString m_FileName;
    bool m_Loaded = false;
    QLabel* m_pFileName = nullptr;
    QPushButton* m_pOk = nullptr;
    COffsetPreview* m_pPreview = nullptr;
};

// The text that stands for no file (library string 51).
CString NoOffsetFileText();

// table: 3200 entries. With showDialog 0 the named file is loaded without a
// window. 1 when a table was accepted (table and fileName updated),
// kOffsetDialogSwitchedOff when the correction was switched off (table and
// fileName unchanged), else 0: cancelled, nothing changes.
int DoModalOffsetDialog(short* table, CString& fileName, int showDialog);
