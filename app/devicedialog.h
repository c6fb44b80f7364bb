// CDeviceDialog: Options > Device...: the device library Torvel loads at its
// next start (the analyser simulator, a SoapySDR receiver with its device
// arguments, or a library by its path) and a receiver's calibration offset in
// dB, both kept in the profile section DEVICE (Library, LevelOffset).
#pragma once

#include <QDialog>

#include <string>

class QDoubleSpinBox;
class QLineEdit;
class QRadioButton;

class CDeviceDialog : public QDialog {
    Q_OBJECT
public:
    // inUse: one line naming the device the program uses now.
    CDeviceDialog(const QString& inUse, QWidget* parent = nullptr);

    // A choice as --device takes it: "simulator", "soapy[:ARGS]" or a path.
    void SetValues(const std::string& choice, double levelOffsetDb);
    std::string Choice() const;
    double LevelOffset() const;

private:
    void browse();
    void enableFields();

    QRadioButton* m_simulator;
    QRadioButton* m_soapy;
    QRadioButton* m_library;
    QLineEdit* m_soapyArgs;
    QLineEdit* m_libraryPath;
    QDoubleSpinBox* m_offset;
};
