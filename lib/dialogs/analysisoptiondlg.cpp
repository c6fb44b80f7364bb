// The analysis option dialog.
#include "lib/dialogs/analysisoptiondlg.h"

#include "lib/dialogs/dialogsupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace AnalysisOptionIds;

namespace {
// The dialog resource id (the dialog's object name), its library strings and style fonts.
constexpr int kDialogResource = 2002;
constexpr int kTextTitle = 14;
constexpr int kTextFirstGroup = 15;
constexpr int kTextFirstLabel = 16;
constexpr int kTextSecondGroup = 17;
constexpr int kTextSecondLabel = 18;
constexpr int kStyleGroupFont = 19;
constexpr int kStyleLabelFont = 20;
} // namespace

CAnalysisOptionDlg::CAnalysisOptionDlg(CPoint rates, QWidget* parent)
    : QDialog(parent), m_Rates(rates) {
    LibDialog::SetControlId(this, kDialogResource);
    setWindowTitle(LibDialog::LibraryText(kTextTitle));
    auto* layout = new QVBoxLayout(this);
    AddRate(kFirstGroup, kFirstLabel, kFirstTrackbar, kFirstValue, kTextFirstGroup, kTextFirstLabel,
            &m_Rates.x);
    AddRate(kSecondGroup, kSecondLabel, kSecondTrackbar, kSecondValue, kTextSecondGroup,
            kTextSecondLabel, &m_Rates.y);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(LibDialog::LibraryText(LibDialog::kTextOk), this);
    auto* cancel = new QPushButton(LibDialog::LibraryText(LibDialog::kTextCancel), this);
    LibDialog::SetControlId(ok, LibDialog::kIdOk);
    LibDialog::SetControlId(cancel, LibDialog::kIdCancel);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void CAnalysisOptionDlg::AddRate(int group, int label, int slider, int value, int groupText,
                                 int labelText, LONG* rate) {
    auto* box = new QGroupBox(LibDialog::LibraryText(groupText), this);
    LibDialog::SetControlId(box, group);
    box->setFont(LibDialog::LibraryStyleFont(kStyleGroupFont));
    auto* row = new QHBoxLayout(box);

    auto* caption = new QLabel(LibDialog::LibraryText(labelText), box);
    LibDialog::SetControlId(caption, label);
    caption->setFont(LibDialog::LibraryStyleFont(kStyleLabelFont));
    auto* bar = new QSlider(Qt::Horizontal, box);
    LibDialog::SetControlId(bar, slider);
    bar->setRange(kMinRate, kMaxRate);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(1);
    bar->setPageStep(1);
    auto* shown = new QLabel(box);
    LibDialog::SetControlId(shown, value);
    shown->setFont(font()); // the dialog's own font, not the group's style font
    shown->setMinimumWidth(shown->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 4);
    row->addWidget(caption);
    row->addWidget(bar, 1);
    row->addWidget(shown);
    qobject_cast<QVBoxLayout*>(layout())->addWidget(box);

    if (*rate < 0) {
        // A negative rate means the analysis has no such rate: shown disabled, kept as it is.
        bar->setEnabled(false);
        return;
    }
    // The trackbar shows the nearest position; the rate itself changes only when it moves.
    bar->setValue(*rate);
    shown->setText(QString::number(*rate));
    connect(bar, &QSlider::valueChanged, this, [rate, shown](int position) {
        *rate = position;
        shown->setText(QString::number(position));
    });
}

CPoint DoModalAnalysisOptionDlg(CPoint rates) {
    CAnalysisOptionDlg dialog(rates, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) {
        return rates;
    }
    return dialog.GetRates();
}
