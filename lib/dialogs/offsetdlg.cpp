// The offset dialog and its preview.
#include "lib/dialogs/offsetdlg.h"

#include "lib/dialogs/dialogsupport.h"
#include "lib/stringtable.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace OffsetDialogIds;

namespace {
// The dialog resource id (the dialog's object name) and its library strings.
constexpr int kDialogResource = 2004;
constexpr int kTextTitle = 46;
constexpr int kTextLoad = 47;
constexpr int kTextOk = 48;
constexpr int kTextCancel = 49;
constexpr int kTextLabel = 50;
constexpr int kTextNoFile = 51;
constexpr int kTextSwitchOff = 52;
constexpr int kTextLoadFailed = 58;

constexpr char kFileFilter[] = "Text Files (*.txt)";

// The preview's look.
constexpr QColor kPreviewBack(255, 255, 255);
constexpr QColor kPreviewZero(160, 160, 160);
constexpr QColor kPreviewCurve(0, 0, 192);
constexpr int kPreviewMargin = 4;
constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 120;
// The vertical scale covers at least ±1 dB.
constexpr int kMinHalfRange = 164;
} // namespace

CString NoOffsetFileText() {
    return CString(GetLibraryString(kTextNoFile));
}

COffsetPreview::COffsetPreview(QWidget* parent) : QWidget(parent) {
    setMinimumSize(kPreviewWidth, kPreviewHeight);
}

void COffsetPreview::SetTable(const OffsetTable::Table* table) {
    m_pTable = table;
    update();
}

void COffsetPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area =
        rect().adjusted(kPreviewMargin, kPreviewMargin, -kPreviewMargin, -kPreviewMargin);
    painter.fillRect(rect(), kPreviewBack);
    painter.setPen(kPreviewZero);
    painter.drawRect(area);
    if (m_pTable == nullptr || area.width() < 2 || area.height() < 2) {
        return;
    }
    // Symmetric about 0 dB, so the zero line stays in the middle.
    const auto [low, high] = std::minmax_element(m_pTable->begin(), m_pTable->end());
    const int half = std::max({kMinHalfRange, -static_cast<int>(*low), static_cast<int>(*high)});
    const double middle = area.top() + area.height() / 2.0;
    const double scale = (area.height() / 2.0) / half;
    painter.drawLine(QPointF(area.left(), middle), QPointF(area.right(), middle));

    QPolygonF curve;
    const int columns = area.width();
    curve.reserve(columns);
    for (int x = 0; x < columns; ++x) {
        const int index = x * OffsetTable::kEntries / columns;
        curve << QPointF(area.left() + x, middle - (*m_pTable)[index] * scale);
    }
    painter.setPen(kPreviewCurve);
    painter.drawPolyline(curve);
}

COffsetDlg::COffsetDlg(const short* table, const CString& fileName, QWidget* parent)
    : QDialog(parent), m_FileName(fileName.IsEmpty() ? NoOffsetFileText() : fileName) {
    std::copy(table, table + OffsetTable::kEntries, m_Table.begin());
    LibDialog::SetControlId(this, kDialogResource);
    setWindowTitle(LibDialog::LibraryText(kTextTitle));

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(LibDialog::LibraryText(kTextLabel), this);
    LibDialog::SetControlId(label, kLabel);
    m_pFileName = new QLabel(this);
    LibDialog::SetControlId(m_pFileName, kFileName);
    m_pFileName->setTextFormat(Qt::PlainText);
    auto* load = new QPushButton(LibDialog::LibraryText(kTextLoad), this);
    LibDialog::SetControlId(load, kLoadButton);
    connect(load, &QPushButton::clicked, this, &COffsetDlg::OnLoadButton);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(label);
    fileRow->addWidget(m_pFileName, 1);
    fileRow->addWidget(load);
    layout->addLayout(fileRow);

    m_pPreview = new COffsetPreview(this);
    LibDialog::SetControlId(m_pPreview, kPreview);
    layout->addWidget(m_pPreview, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_pOk = new QPushButton(LibDialog::LibraryText(kTextOk), this);
    auto* cancel = new QPushButton(LibDialog::LibraryText(kTextCancel), this);
    LibDialog::SetControlId(m_pOk, LibDialog::kIdOk);
    LibDialog::SetControlId(cancel, LibDialog::kIdCancel);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Cancel changes nothing: the correction is switched off by a button of its own.
    auto* off = new QPushButton(LibDialog::LibraryText(kTextSwitchOff), this);
    LibDialog::SetControlId(off, kSwitchOffButton);
    connect(off, &QPushButton::clicked, this, [this] { done(kOffsetDialogSwitchedOff); });
    buttons->addWidget(off);
    buttons->addWidget(m_pOk);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    if (m_FileName != NoOffsetFileText()) {
        Load(m_FileName);
    }
    Refresh();
}

bool COffsetDlg::Load(const CString& path) {
    m_Loaded = OffsetTable::LoadFile(path, m_Table.data());
    m_FileName = m_Loaded ? path : NoOffsetFileText();
    Refresh();
    return m_Loaded;
}

void COffsetDlg::Refresh() {
    m_pFileName->setText(QString::fromUtf8(m_FileName.c_str()));
    m_pOk->setEnabled(m_Loaded);
    m_pPreview->SetTable(m_Loaded ? &m_Table : nullptr);
}

void COffsetDlg::OnLoadButton() {
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), QString::fromLatin1(kFileFilter),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) {
        return;
    }
    if (!Load(CString(chosen.toUtf8().toStdString()))) {
        QMessageBox::warning(this, windowTitle(), LibDialog::LibraryText(kTextLoadFailed));
    }
}

int DoModalOffsetDialog(short* table, CString& fileName, int showDialog) {
    if (table == nullptr) {
        return 0;
    }
    if (showDialog == 0) {
        const CString path = fileName.IsEmpty() ? NoOffsetFileText() : fileName;
        if (path == NoOffsetFileText() || !OffsetTable::LoadFile(path, table)) {
            return 0;
        }
        fileName = path;
        return 1;
    }
    COffsetDlg dialog(table, fileName, QApplication::activeWindow());
    const int result = dialog.exec();
    if (result == kOffsetDialogSwitchedOff) {
        return kOffsetDialogSwitchedOff;
    }
    if (result != QDialog::Accepted || !dialog.HasTable()) {
        return 0;
    }
    std::copy(dialog.GetTable().begin(), dialog.GetTable().end(), table);
    fileName = dialog.GetFileName();
    return 1;
}
