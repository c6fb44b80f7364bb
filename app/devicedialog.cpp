#include "devicedialog.h"

#include "app/programtext.h"
#include "device/loader/devicelibrary.h"
#include "lib/stringtable.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kStrTitle = 2640;
constexpr int kStrSimulator = 2641;
constexpr int kStrSoapy = 2642;
constexpr int kStrLibrary = 2643;
constexpr int kStrOffset = 2644;
constexpr int kStrNextStart = 2645;
constexpr int kStrBrowse = 2647;
constexpr int kStrChooseLibrary = 2648;
constexpr int kStrInUse = 2649;

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

CDeviceDialog::CDeviceDialog(const QString& inUse, QWidget* parent)
    : QDialog(parent),
      m_simulator(named(new QRadioButton(ProgramText(kStrSimulator), this), "Simulator")),
      m_soapy(named(new QRadioButton(ProgramText(kStrSoapy), this), "Soapy")),
      m_library(named(new QRadioButton(ProgramText(kStrLibrary), this), "Library")),
      m_soapyArgs(named(new QLineEdit(this), "SoapyArgs")),
      m_libraryPath(named(new QLineEdit(this), "LibraryPath")),
      m_offset(named(new QDoubleSpinBox(this), "LevelOffset")) {
    setObjectName("DeviceDialog");
    setWindowTitle(ProgramText(kStrTitle));
    m_soapyArgs->setPlaceholderText("driver=rtlsdr");
    // Device arguments and paths are long: room for about 50 characters.
    for (QLineEdit* edit : {m_soapyArgs, m_libraryPath})
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 50);
    m_offset->setRange(-torveldevice::kLevelOffsetLimitDb, torveldevice::kLevelOffsetLimitDb);
    m_offset->setDecimals(1);
    m_offset->setSingleStep(0.5);
    m_offset->setSuffix(" dB");
    auto* browse = named(new QPushButton(ProgramText(kStrBrowse), this), "Browse");

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(m_simulator, 0, 0, 1, 3);
    grid->addWidget(m_soapy, 1, 0);
    grid->addWidget(m_soapyArgs, 1, 1, 1, 2);
    grid->addWidget(m_library, 2, 0);
    grid->addWidget(m_libraryPath, 2, 1);
    grid->addWidget(browse, 2, 2);
    auto* offsetLabel = new QLabel(ProgramText(kStrOffset), this);
    offsetLabel->setBuddy(m_offset);
    grid->addWidget(offsetLabel, 3, 0);
    grid->addWidget(m_offset, 3, 1);
    layout->addLayout(grid);
    QString used = ProgramText(kStrInUse);
    used.replace("%s", inUse);
    auto* note = named(new QLabel(used + "\n" + ProgramText(kStrNextStart), this), "Note");
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &CDeviceDialog::browse);
    for (QRadioButton* b : {m_simulator, m_soapy, m_library})
        connect(b, &QRadioButton::toggled, this, &CDeviceDialog::enableFields);
    m_simulator->setChecked(true);
    enableFields();
}

void CDeviceDialog::SetValues(const std::string& choice, double levelOffsetDb) {
    const std::string soapy = torveldevice::kSoapyChoice;
    if (choice == soapy || choice.rfind(soapy + ":", 0) == 0) {
        m_soapy->setChecked(true);
        m_soapyArgs->setText(
            QString::fromStdString(choice.substr(std::min(choice.size(), soapy.size() + 1))));
    } else if (choice.find('/') != std::string::npos) {
        m_library->setChecked(true);
        m_libraryPath->setText(QString::fromStdString(choice));
    } else {
        m_simulator->setChecked(true);
    }
    m_offset->setValue(levelOffsetDb);
}

std::string CDeviceDialog::Choice() const {
    if (m_soapy->isChecked()) {
        const std::string args = m_soapyArgs->text().trimmed().toStdString();
        return args.empty() ? torveldevice::kSoapyChoice
                            : std::string(torveldevice::kSoapyChoice) + ":" + args;
    }
    const std::string path = m_libraryPath->text().trimmed().toStdString();
    // A library is named by a path (a bare name would be no choice at all).
    if (m_library->isChecked() && path.find('/') != std::string::npos)
        return path;
    return torveldevice::kSimulatorChoice;
}

double CDeviceDialog::LevelOffset() const {
    return m_offset->value();
}

void CDeviceDialog::browse() {
    const QString path = QFileDialog::getOpenFileName(this, ProgramText(kStrChooseLibrary),
                                                      m_libraryPath->text(), "*.so*");
    if (path.isEmpty())
        return;
    m_libraryPath->setText(path);
    m_library->setChecked(true);
}

void CDeviceDialog::enableFields() {
    m_soapyArgs->setEnabled(m_soapy->isChecked());
    m_libraryPath->setEnabled(m_library->isChecked());
}
