// The screen option dialog: edits the colours, line style, line width and
// font of a list of draw objects. Edits are staged in the draw objects and take
// effect at their next selection after OK; Cancel puts the staged values back.
#pragma once

#include "lib/drawobject.h"

#include <QAbstractSpinBox>
#include <QDialog>
#include <QWidget>

#include <list>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

using CDrawObjectList = std::list<CDrawObject*>;

// Control ids of the dialog.
namespace ScreenOptionIds {
constexpr int kList = 2002;
constexpr int kBackgroundButton = 2003;
constexpr int kLineButton = 2004;
constexpr int kBrushButton = 2005;
constexpr int kTextButton = 2006;
constexpr int kFontButton = 2007;
constexpr int kLinePreview = 2009;
constexpr int kTextPreview = 2010;
constexpr int kLineStyle = 2011;
constexpr int kLineWidthSpin = 2012;
constexpr int kLineWidth = 2013;
constexpr int kLabel = 2014;
} // namespace ScreenOptionIds

// An up-down control: only reports steps (+1 up, -1 down) and holds no value.
class CUpDownControl : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CUpDownControl(QWidget* parent = nullptr);
    void stepBy(int steps) override;

Q_SIGNALS:
    void Stepped(int steps);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

// The line preview (a horizontal line in the pen on the background colour) or
// the text preview (a text in the font and text colour on the background).
class CDrawObjectPreview : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Line, Text };
    CDrawObjectPreview(Kind kind, QWidget* parent = nullptr);
    void SetDrawObject(CDrawObject* object);
    void SetText(const CString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_Kind;
    CDrawObject* m_pObject = nullptr;
    CString m_Text;
};

class CScreenOptionDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinLineWidth = 1;
    static constexpr int kMaxLineWidth = 4;

    CScreenOptionDlg(CDrawObjectList* list, QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

private:
    void OnSelect(int row);
    void OnBackground();
    void OnText();
    void OnBrush();
    void OnLine();
    void OnFont();
    void OnLineStyle(int index);
    void OnLineWidth(int steps);
    void Show();

    std::vector<CDrawObject*> m_Objects;
    // Every object the dialog can reach (the list and their chains) with its
    // staged attributes as they were at opening, put back on Cancel.
    std::vector<std::pair<CDrawObject*, CDrawObject::CStagedAttributes>> m_Saved;
    CDrawObject* m_pCurrent = nullptr;
    QListWidget* m_pList = nullptr;
    QPushButton* m_pButtons[5] = {};
    QComboBox* m_pLineStyle = nullptr;
    CUpDownControl* m_pLineWidthSpin = nullptr;
    QLabel* m_pLineWidth = nullptr;
    CDrawObjectPreview* m_pLinePreview = nullptr;
    CDrawObjectPreview* m_pTextPreview = nullptr;
};

void DoModalScreenOptionDlg(CDrawObjectList* list);
