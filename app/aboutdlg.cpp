#include "aboutdlg.h"

#include "app/programtext.h"
#include "device/loader/devicelibrary.h"
#include "lib/stringtable.h"
#include "platform/cstring.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* line(QWidget* parent, const char* id, const QString& s) {
    auto* label = new QLabel(s, parent);
    label->setObjectName(id);
    return label;
}
} // namespace

CAboutDlg::CAboutDlg(WORD firmware, WORD serial, QWidget* parent) : QDialog(parent) {
    setObjectName("100");
    setWindowTitle(ProgramText(6));
    CString firmwareLine, serialLine;
    // The firmware word holds major.minor as (major << 4) | minor.
    firmwareLine.Format(GetTorvelFormat(12, "dd", "Firmware %d.%d"), firmware >> 4, firmware & 0xF);
    serialLine.Format(GetTorvelFormat(18, "d", "Serial number %d"), static_cast<int>(serial));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line(this, "1015", ProgramText(7)));
    layout->addWidget(line(this, "1016", ProgramText(8)));
    layout->addWidget(line(this, "1018", QString::fromUtf8(firmwareLine.c_str())));
    layout->addWidget(line(this, "1019", QString::fromUtf8(serialLine.c_str())));
    QString device = "Device: " + QString::fromStdString(torveldevice::LoadedDeviceDescription());
    // A receiver's stream: the samples it lost so far.
    if (const long overruns = torveldevice::LoadedDeviceOverruns(); overruns >= 0)
        device += QString(", %1 sample overruns").arg(overruns);
    layout->addWidget(line(this, "device", device));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(ProgramText(9), QDialogButtonBox::AcceptRole);
    ok->setObjectName("IDOK");
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}
