// CLoggingOutput: the logging step, the image outputs and the window actions
// that draw or save the window.
#include "analysis/loggingoutput.h"

#include "analysis/analysiscore.h"
#include "analysis/tracestore.h"
#include "lib/dibimage.h"
#include "lib/loggingparam.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/gdiobjects.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace {

constexpr const char* kFallbackBarTimeFormat = "%Y/%m/%d %H:%M:%S";
constexpr const char* kFallbackDocumentName = "Torvel";

// A string-table text, or null when the entry is unused.
const char* TableText(int index) {
    const char* s = GetTorvelString(index);
    if (!s || !*s || CString(s) == "NotEntry")
        return nullptr;
    return s;
}

QString Q(const CString& s) {
    return QString::fromUtf8(s.c_str());
}

CString FromQ(const QString& s) {
    return CString(s.toUtf8().toStdString());
}

CCorePrompts DefaultPrompts() {
    CCorePrompts p;
    p.message = [](const CString& text) {
        QMessageBox::information(QApplication::activeWindow(), QString(), Q(text));
    };
    p.warning = [](const CString& text) {
        QMessageBox::warning(QApplication::activeWindow(), QString(), Q(text));
    };
    p.askYesNo = [](const CString& text) {
        return QMessageBox::warning(QApplication::activeWindow(), QString(), Q(text),
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
    p.chooseSavePath = [](const char* filter) {
        return FromQ(QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(),
                                                  QString(), QString::fromUtf8(filter)));
    };
    p.chooseOpenPath = [](const char* filter) {
        return FromQ(QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(),
                                                  QString(), QString::fromUtf8(filter)));
    };
    p.setUpPrinter = [](QPrinter& printer) {
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        return dialog.exec() == QDialog::Accepted;
    };
    p.editLogging = [](CLoggingParam* param) { return DoModalLoggingDialog(param); };
    return p;
}

} // namespace

CLoggingOutput::CLoggingOutput(CAnalysisCore& core) : m_core(core), m_prompts(DefaultPrompts()) {}

void CLoggingOutput::ShowMessage(int stringIndex) {
    if (m_prompts.message) {
        const char* text = GetTorvelString(stringIndex);
        m_prompts.message(text ? text : "");
    }
}

void CLoggingOutput::ShowWarning(const CString& text) {
    if (m_prompts.warning)
        m_prompts.warning(text);
}

CString CLoggingOutput::FormatBarTime(const CTime& time) const {
    const char* format = TableText(kStrLoggingTimeFormat);
    return time.Format(format ? format : kFallbackBarTimeFormat);
}

CString CLoggingOutput::OutputBaseName(const CString& folder, const CTime& time) {
    return folder + "/" + time.Format(kOutputNameFormat);
}

// ---- Logging

int CLoggingOutput::EditLogging() {
    CLoggingParam& param = m_core.GetLoggingParam();
    if (!m_prompts.editLogging || !m_prompts.editLogging(&param)) {
        // Cancelled: logging is off, and the bar no longer claims otherwise.
        Stop();
        return kCommandDone;
    }
    Start();
    return kCommandDone;
}

void CLoggingOutput::Start() {
    const CLoggingParam& param = m_core.GetLoggingParam();
    m_state = kWaiting;
    m_nextOutput = param.m_StartTime + param.m_TimeSpan;
    if (m_display)
        m_display->ShowLogging(param.m_TargetDir, FormatBarTime(m_nextOutput),
                               FormatBarTime(param.m_StopTime), param.m_RefreshFlag != 0);
}

void CLoggingOutput::Stop() {
    m_state = kOff;
    if (m_display)
        m_display->HideLogging();
}

bool CLoggingOutput::TriggerAllowsOutput() {
    CLoggingTriggerLine line;
    CTraceStore* trace = m_core.GetDataLine();
    if (!trace || !m_core.GetLoggingTriggerLine(&line))
        return false; // no trigger line to fire
    const bool exceeding = trace->Exceeds(line.level, line.lower, line.upper) != 0;
    // The trigger arms on the opposite side of the line and fires on crossing.
    const bool firing = line.direction == 0 ? exceeding : !exceeding;
    if (m_state == kWaiting) {
        if (!firing)
            m_state = kArmed;
        return false;
    }
    if (!firing)
        return false;
    m_state = kFired;
    return true;
}

int CLoggingOutput::Step() {
    if (m_state == kOff)
        return 0;
    const CTime now = Now();
    const CLoggingParam& param = m_core.GetLoggingParam();
    if (param.m_StartFlag && param.m_StartTime > now)
        return 0;
    if (param.m_StopFlag && param.m_StopTime < now) {
        Stop();
        return 0;
    }
    if (m_core.GetLoggingTriggerFlag() && !TriggerAllowsOutput())
        return 0;
    if (m_nextOutput > now)
        return 0;

    m_state = kWaiting; // a trigger must arm again
    m_nextOutput = now + param.m_TimeSpan;
    if (m_display)
        m_display->SetNextText(FormatBarTime(m_nextOutput));
    // The parameters are copied: a write may run dialogs that change them.
    const CString base = OutputBaseName(param.m_TargetDir, now);
    const bool csv = param.GetCsvFlag(), bmp = param.GetBmpFlag(), png = param.GetPngFlag();
    // A failed write is not retried; the next output follows at the next interval.
    m_unattended = true;
    if (csv)
        m_core.WriteCSVFile(base + ".CSV");
    if (bmp)
        m_core.WriteBMPImage(base + ".BMP");
    if (png)
        m_core.WritePNGImage(base + ".PNG");
    m_unattended = false;
    return 1;
}

// ---- Images

bool CLoggingOutput::Render(CDC& dc, CBitmap& bitmap, bool timeStamp) {
    if (!dc.CreateCompatibleDC(nullptr) ||
        !bitmap.CreateCompatibleBitmap(&dc, kImageWidth, kImageHeight))
        return false;
    dc.SelectObject(&bitmap);
    const CRect rect(0, 0, kImageWidth, kImageHeight);
    dc.FillSolidRect(&rect, RGB(255, 255, 255));
    m_core.DrawToDC(&dc, rect, timeStamp ? TRUE : FALSE);
    dc.Flush();
    return true;
}

int CLoggingOutput::WriteBMP(const char* path) {
    CDC dc;
    CBitmap bitmap;
    if (!Render(dc, bitmap, true))
        return 0;
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary |
                             CFile::modeSafeReplace))
        return 0;
    CRect rect(0, 0, kImageWidth, kImageHeight);
    if (!SaveDIBFile(dc, rect, bitmap, file)) {
        file.Abort();
        return 0;
    }
    return file.Close() ? 1 : 0;
}

int CLoggingOutput::WritePNG(const char* path) {
    CDC dc;
    CBitmap bitmap;
    if (!Render(dc, bitmap, true))
        return 0;
    CRect rect(0, 0, kImageWidth, kImageHeight);
    BYTE* image = CreateDIBData(dc, rect, bitmap);
    if (!image)
        return 0;
    CFile file;
    int ok = 0;
    if (file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary |
                            CFile::modeSafeReplace)) {
        ok = DibToPngFile(&file,
                          reinterpret_cast<const BITMAPINFOHEADER*>(image + kDibFileHeaderSize));
        if (ok)
            ok = file.Close() ? 1 : 0;
        else
            file.Abort();
    }
    delete[] image;
    return ok;
}

QImage CLoggingOutput::RenderImage(bool timeStamp) {
    CDC dc;
    CBitmap bitmap;
    if (!Render(dc, bitmap, timeStamp))
        return QImage();
    return bitmap.GetImage().copy();
}

// ---- Window actions

CString CLoggingOutput::WithoutExtension(const CString& path) {
    const int dot = path.ReverseFind('.');
    const int slash = path.ReverseFind('/');
    if (dot > slash)
        return path.Left(dot + 1);
    return path + ".";
}

CString CLoggingOutput::WithSettingExtension(const CString& path) {
    const CString base = WithoutExtension(path);
    return base + "SPE";
}

int CLoggingOutput::SaveData(unsigned outputFlags) {
    if (!m_prompts.chooseSavePath)
        return kCommandDone;
    const CString chosen = m_prompts.chooseSavePath(kSaveDataFilter);
    if (chosen.IsEmpty())
        return kCommandDone;
    const CString base = WithoutExtension(chosen);
    bool ok = true;
    if (outputFlags & 1u)
        ok &= m_core.WriteCSVFile(base + "CSV") == 1;
    if (outputFlags & 2u)
        ok &= m_core.WriteBMPImage(base + "BMP") == 1;
    if (outputFlags & 4u)
        ok &= m_core.WritePNGImage(base + "PNG") == 1;
    ShowMessage(ok ? kStrSaveSucceeded : kStrSaveFailed);
    return kCommandDone;
}

int CLoggingOutput::Print() {
    QPrinter printer;
    const char* name = TableText(kStrPrintDocument);
    printer.setDocName(QString::fromUtf8(name ? name : kFallbackDocumentName));
    if (!m_prompts.setUpPrinter || !m_prompts.setUpPrinter(printer))
        return kCommandDone;
    QPainter painter;
    if (!painter.begin(&printer))
        return kCommandDone;
    // The 640 x 480 drawing scaled onto the page, keeping its proportions.
    const QRect page = painter.viewport();
    const double scale = std::min(page.width() / static_cast<double>(kImageWidth),
                                  page.height() / static_cast<double>(kImageHeight));
    {
        CDC dc(&painter);
        dc.SetPrinting(TRUE);
        dc.SetMapMode(MM_ANISOTROPIC);
        dc.SetWindowExt(kImageWidth, kImageHeight);
        dc.SetViewportExt(std::max(1, static_cast<int>(kImageWidth * scale)),
                          std::max(1, static_cast<int>(kImageHeight * scale)));
        m_core.DrawToDC(&dc, CRect(0, 0, kImageWidth, kImageHeight), TRUE);
        dc.Detach();
    }
    painter.end();
    return kCommandDone;
}

int CLoggingOutput::Copy() {
    const QImage image = RenderImage(false);
    if (image.isNull())
        return kCommandDone;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
    return kCommandDone;
}

int CLoggingOutput::SaveSettingsFile() {
    if (!m_prompts.chooseSavePath)
        return kCommandDone;
    const CString chosen = m_prompts.chooseSavePath(kSettingFileFilter);
    if (chosen.IsEmpty())
        return kCommandDone;
    ReleaseSettingFileObject();
    int ok = m_core.SaveSettings();
    // A file that could not be written is a failed save too.
    if (ok)
        ok = WriteSettingFileObject(WithSettingExtension(chosen));
    ReleaseSettingFileObject();
    ShowMessage(ok ? kStrSaveSucceeded : kStrSaveFailed);
    return kCommandDone;
}

int CLoggingOutput::LoadSettingsFile() {
    if (!m_prompts.chooseOpenPath)
        return kCommandDone;
    const CString chosen = m_prompts.chooseOpenPath(kSettingFileFilter);
    if (chosen.IsEmpty())
        return kCommandDone;
    ReleaseSettingFileObject();
    if (!LoadSettingFile(chosen)) {
        ShowMessage(kStrFileNotRead);
        return kCommandDone;
    }
    m_core.SetOffsetLoadFailed(0);
    const int complete = m_core.LoadSettings();
    ReleaseSettingFileObject();
    if (!complete)
        ShowWarning(SettingsIncompleteText(chosen));
    if (m_core.GetOffsetLoadFailed()) {
        const char* text = GetTorvelString(kStrOffsetLoadFailed);
        ShowWarning(text ? text : "");
    }
    return kCommandReset;
}
