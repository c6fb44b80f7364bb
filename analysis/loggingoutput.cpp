// CLoggingOutput: the logging step, the image outputs and the window actions
// that draw or save the window.
#include "analysis/loggingoutput.h"

#include "analysis/analysiscore.h"
#include "lib/dibimage.h"
#include "lib/loggingparam.h"
#include "lib/settingfile.h"
#include "lib/stringtable.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/gdiobjects.h"
#include "trace/tracestore.h"

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
constexpr const char* kFallbackReplaceQuestion = "This file already exists. Replace it?";

// The outputs of a manual save: main frame output flag and file extension.
struct CSaveOutput {
    unsigned flag;
    const char* extension;
};
constexpr CSaveOutput kSaveOutputs[] = {{1u, "CSV"}, {2u, "BMP"}, {4u, "PNG"}};

// The path of the only file a save writes: the name typed, whatever its
// ending ("x.txt"); a name without an extension gets the given one.
CString TypedOrWith(const CString& path, const char* extension) {
    const int dot = path.ReverseFind('.');
    const bool typed = dot >= 0 && dot > path.ReverseFind('/') && dot + 1 < path.GetLength();
    return typed ? path : CLoggingOutput::OutputPath(path, extension);
}
constexpr unsigned kSaveOutputMask = 7u;

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
    p.warning = [](const CString& text) {
        QMessageBox::warning(QApplication::activeWindow(), QString(), Q(text));
    };
    p.askYesNo = [](const CString& text) {
        return QMessageBox::warning(QApplication::activeWindow(), QString(), Q(text),
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
    // The saves change the extension of the name chosen and ask about the
    // files they would really replace, so the dialog does not ask about the
    // name typed.
    p.chooseSavePath = [](const char* filter) {
        return FromQ(QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(),
                                                  QString(), QString::fromUtf8(filter), nullptr,
                                                  QFileDialog::DontConfirmOverwrite));
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

CLoggingOutput::CLoggingOutput(CAnalysisCore& core) : m_core(core), m_prompts(DefaultPrompts()) {
    // A report of success is an information; anything that did not work warns.
    m_prompts.message = [this](const CString& text) {
        if (m_messageIsFailure)
            QMessageBox::warning(QApplication::activeWindow(), QString(), Q(text));
        else
            QMessageBox::information(QApplication::activeWindow(), QString(), Q(text));
    };
}

void CLoggingOutput::ShowMessage(int stringIndex) {
    const char* text = GetTorvelString(stringIndex);
    m_messageIsFailure = stringIndex != kStrSaveSucceeded;
    if (m_prompts.message)
        m_prompts.message(text ? text : "");
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
    // The dialog edits a copy: a cancelled dialog changes nothing, and logging
    // that runs goes on.
    CLoggingParam edited = m_core.GetLoggingParam();
    if (!m_prompts.editLogging || !m_prompts.editLogging(&edited))
        return kCommandDone;
    m_core.GetLoggingParam() = edited;
    Start();
    return kCommandDone;
}

void CLoggingOutput::Start() {
    const CLoggingParam& param = m_core.GetLoggingParam();
    m_state = kWaiting;
    m_nextOutput = param.m_StartTime + param.m_TimeSpan;
    if (m_display) {
        // Without a stop time logging has no end to show.
        const CString end = param.m_StopFlag ? FormatBarTime(param.m_StopTime) : CString();
        m_display->ShowLogging(param.m_TargetDir, FormatBarTime(m_nextOutput), end,
                               param.m_RefreshFlag != 0);
        m_display->SetOutputFailed(CString());
    }
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
    // The trigger arms on the opposite side of the line and fires on crossing;
    // only measured words move it.
    const TriggerStep step =
        StepTrigger(m_state, trace->SideOf(line.level, line.lower, line.upper), line.direction);
    m_state = step.state;
    return step.fired;
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
    // The files carry the second of their names as their data time.
    m_core.SetLastDataTime(now);
    // A failed write is not retried; the next output follows at the next
    // interval. The bar names the first file of this output that failed.
    m_unattended = true;
    CString failed;
    const auto note = [&failed](int result, const CString& path) {
        if (result != 1 && failed.IsEmpty())
            failed = path;
    };
    if (csv)
        note(m_core.WriteCSVFile(base + ".CSV"), base + ".CSV");
    if (bmp)
        note(m_core.WriteBMPImage(base + ".BMP"), base + ".BMP");
    if (png)
        note(m_core.WritePNGImage(base + ".PNG"), base + ".PNG");
    m_unattended = false;
    if (m_display)
        m_display->SetOutputFailed(failed);
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

CString CLoggingOutput::WithSettingExtension(const CString& path) {
    return TypedOrWith(path, "SPE");
}

CString CLoggingOutput::OutputPath(const CString& path, const char* extension) {
    const int dot = path.ReverseFind('.');
    if (dot < 0 || dot < path.ReverseFind('/'))
        return path + "." + extension;
    const CString typed = path.Mid(dot + 1);
    CString upper = typed;
    upper.MakeUpper();
    if (upper == extension)
        return path; // the name the user typed, letter for letter
    // A sibling of a typed output name (CSV beside a typed "run.png") follows
    // its letter case; any other ending belongs to the name typed.
    bool known = upper == "SPE";
    for (const CSaveOutput& output : kSaveOutputs)
        known |= upper == output.extension;
    if (!known)
        return typed.IsEmpty() ? path + extension : path + "." + extension;
    CString wanted = extension;
    CString lower = typed;
    lower.MakeLower();
    if (typed == lower)
        wanted.MakeLower();
    return path.Left(dot + 1) + wanted;
}

unsigned CLoggingOutput::OutputOfExtension(const CString& path) {
    const int dot = path.ReverseFind('.');
    if (dot < 0 || dot < path.ReverseFind('/'))
        return 0u;
    CString extension = path.Mid(dot + 1);
    extension.MakeUpper();
    for (const CSaveOutput& output : kSaveOutputs)
        if (extension == output.extension)
            return output.flag;
    return 0u;
}

bool CLoggingOutput::MayReplace(const CString& path) {
    if (!FileExists(path))
        return true;
    const char* question = TableText(kStrReplaceQuestion);
    return m_prompts.askYesNo &&
           m_prompts.askYesNo(path + "\n" + (question ? question : kFallbackReplaceQuestion));
}

int CLoggingOutput::SaveData(unsigned outputFlags) {
    if (!m_prompts.chooseSavePath)
        return kCommandDone;
    const CString chosen = m_prompts.chooseSavePath(kSaveDataFilter);
    if (chosen.IsEmpty())
        return kCommandDone;
    // Without a chosen output format the extension typed names the one wanted.
    outputFlags &= kSaveOutputMask;
    if (outputFlags == 0u)
        outputFlags = OutputOfExtension(chosen);
    if (outputFlags == 0u) {
        ShowMessage(kStrNoOutputFormat);
        return kCommandDone;
    }
    // The files written are not the name the dialog checked: each one that
    // would be replaced is asked for before anything is written, and a "no"
    // saves nothing.
    // A single output is written under the name typed whatever its ending;
    // several take their extensions beside it.
    const bool single = outputFlags == 1u || outputFlags == 2u || outputFlags == 4u;
    auto pathOf = [&](const char* extension) {
        return single ? TypedOrWith(chosen, extension) : OutputPath(chosen, extension);
    };
    for (const CSaveOutput& output : kSaveOutputs)
        if ((outputFlags & output.flag) && !MayReplace(pathOf(output.extension)))
            return kCommandDone;
    bool ok = true;
    if (outputFlags & 1u)
        ok &= m_core.WriteCSVFile(pathOf("CSV")) == 1;
    if (outputFlags & 2u)
        ok &= m_core.WriteBMPImage(pathOf("BMP")) == 1;
    if (outputFlags & 4u)
        ok &= m_core.WritePNGImage(pathOf("PNG")) == 1;
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
    if (!MayReplace(WithSettingExtension(chosen)))
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
        CString message(text ? text : "");
        if (!m_core.GetFailedOffsetFileName().IsEmpty())
            message += "\n\n" + m_core.GetFailedOffsetFileName();
        ShowWarning(message);
    }
    return kCommandReset;
}
