// CLoggingOutput: the measurement logging and the outputs of one analysis
// core. It runs the logging step after every received data block (start and
// stop times, the level trigger's states, the interval), names the outputs by
// the time of output ("%Y%m%d%H%M%S" + ".CSV", ".BMP", ".PNG"), renders the
// window's 640 x 480 images through the core's DrawToDC, and carries out the
// window actions that use the same drawing and writers: save data (11),
// print (7), copy to the clipboard (13), and the logging dialog (45). The
// questions, messages and dialogs go through replaceable prompts so that a
// test can answer them.
#pragma once

#include "analysis/leveltrigger.h"
#include "platform/cstring.h"
#include "platform/ctime.h"

#include <functional>

class CAnalysisCore;
class CBitmap;
class CDC;
class CLoggingParam;
class QImage;
class QPrinter;

// Program strings of the outputs.
constexpr int kStrLoggingTimeFormat = 25;  // strftime format of the bar's next and end times
constexpr int kStrLoggingBlinkFirst = 26;  // 26..29: the LOGGING button's blinking texts
constexpr int kStrFileNotRead = 42;        // a data or setting file could not be read
constexpr int kStrManyPointsQuestion = 43; // asked before a CSV of more than 65000 points
constexpr int kStrReplaceQuestion = 80;    // asked, below the path, before a file is replaced
// Files of the outputs.
constexpr const char* kOutputNameFormat = "%Y%m%d%H%M%S";
constexpr const char* kSaveDataFilter = "All Files (*.*)";
constexpr const char* kSettingFileFilter = "Setting Files (*.SPE)";

// The logging trigger line of a window's graph: the level it tests, the
// frequency range it watches and its direction (0: fire when the level rises
// above the line, otherwise when it falls below it).
struct CLoggingTriggerLine {
    double level = 0.0;
    long long lower = 0;
    long long upper = 0;
    int direction = 0;
};

// What the window shows of logging: its logging bar.
class CLoggingDisplay {
public:
    virtual ~CLoggingDisplay() = default;
    // Shows the bar with the folder, next-output and end texts, the REF
    // indicator lit when refresh is on, and starts the blinking.
    virtual void ShowLogging(const CString& folder, const CString& next, const CString& end,
                             bool refresh) = 0;
    virtual void SetNextText(const CString& next) = 0;
    // Hides the bar and stops the blinking.
    virtual void HideLogging() = 0;
    // After every output: the file that could not be written, or empty when
    // the output succeeded.
    virtual void SetOutputFailed(const CString& path) { (void)path; }
};

// The user interaction of the outputs; each defaults to a Qt dialog.
struct CCorePrompts {
    // A message box with a text of the string table; by default a report of
    // success shows as an information and anything else as a warning.
    std::function<void(const CString& text)> message;
    // A message box with a warning icon: something the user asked for was
    // done only in part or not at all.
    std::function<void(const CString& text)> warning;
    // A yes/no question with a warning icon; true for yes.
    std::function<bool(const CString& text)> askYesNo;
    // Save and open dialogs with a filter; empty when cancelled.
    std::function<CString(const char* filter)> chooseSavePath;
    std::function<CString(const char* filter)> chooseOpenPath;
    // The print dialog on the printer; false when cancelled.
    std::function<bool(QPrinter& printer)> setUpPrinter;
    // The logging dialog on the parameters (DoModalLoggingDialog): 1 for OK.
    std::function<int(CLoggingParam* param)> editLogging;
};

class CLoggingOutput {
public:
    // Logging states.
    static constexpr int kOff = 0;
    static constexpr int kWaiting = kTriggerWaiting; // on; with a trigger: waiting to arm
    static constexpr int kArmed = kTriggerArmed;
    static constexpr int kFired = kTriggerFired;

    explicit CLoggingOutput(CAnalysisCore& core);
    CLoggingOutput(const CLoggingOutput&) = delete;
    CLoggingOutput& operator=(const CLoggingOutput&) = delete;

    CCorePrompts& Prompts() { return m_prompts; }
    // True while the logging step writes its outputs: nobody is there to answer
    // a question, so writers must not ask (a dialog would stall the logging and
    // the analysis rotation until someone came back).
    bool IsUnattended() const { return m_unattended; }
    void SetDisplay(CLoggingDisplay* display) { m_display = display; }
    CLoggingDisplay* GetDisplay() const { return m_display; }
    // The clock of the logging step; the current time unless a test sets one.
    void SetClock(std::function<CTime()> clock) { m_clock = std::move(clock); }
    CTime Now() const { return m_clock ? m_clock() : CTime::GetCurrentTime(); }

    int GetState() const { return m_state; }
    const CTime& GetNextOutputTime() const { return m_nextOutput; }

    // ---- Logging
    // The logging dialog (action 45): cancelled turns logging off, OK starts it.
    int EditLogging();
    // Logging on with the core's parameters: waiting, the first output due one
    // interval after the start time, the bar shown.
    void Start();
    // Logging off and the bar hidden (the LOGGING button, a passed stop time).
    void Stop();
    // One logging step after a received data block; 1 when an output was due
    // and written (whatever the single writes gave), else 0.
    int Step();
    // The output base name: folder + "/" + time formatted "%Y%m%d%H%M%S".
    static CString OutputBaseName(const CString& folder, const CTime& time);

    // ---- Images
    // Renders the window into a new 640 x 480 bitmap selected into dc, with
    // the data time stamp when timeStamp is set.
    bool Render(CDC& dc, CBitmap& bitmap, bool timeStamp);
    // The window's picture as a BMP or PNG file, replacing path safely; 1 when
    // written.
    int WriteBMP(const char* path);
    int WritePNG(const char* path);
    // The picture (with the time stamp) as an image; for the clipboard.
    QImage RenderImage(bool timeStamp);

    // ---- Window actions
    // Save data (11): a save dialog; the path without its extension (the dot
    // stays) gets "CSV", "BMP", "PNG" for the main frame's output flags
    // (bit 0 CSV, bit 1 BMP, bit 2 PNG), or, when none is set, for the
    // extension typed. Every file that would be replaced is asked for first.
    // String 20 when something was written and every write succeeded, else 21.
    int SaveData(unsigned outputFlags);
    // Print (7): the print dialog, then one page of the window's drawing scaled
    // to the page, in a document named by string 22.
    int Print();
    // Copy (13): the window's drawing as a bitmap on the clipboard.
    int Copy();
    // Save settings (8) and load settings (9) through the setting data file.
    // A load that found only part of the settings, or could not load the
    // offset table the file asks for, warns.
    int SaveSettingsFile();
    int LoadSettingsFile();

    // The path for a file of the given extension ("CSV", "SPE"...) named
    // after the path the user chose: a name typed with that extension is kept
    // as typed ("run.csv"), a name without one gets it ("run" -> "run.CSV"),
    // another output's extension is swapped in its letter case ("run.png" ->
    // "run.csv"), and any other ending is part of the name ("run.txt" ->
    // "run.txt.CSV").
    static CString OutputPath(const CString& path, const char* extension);
    // The setting data file's path: the name typed, whatever its ending
    // ("x.txt"); a name without an extension gets ".SPE".
    static CString WithSettingExtension(const CString& path);
    // The output flag named by a path's extension (".csv", ".BMP", ".Png"...;
    // the case does not matter), 0 for any other.
    static unsigned OutputOfExtension(const CString& path);

private:
    void ShowMessage(int stringIndex);
    // True when path is no file yet, or when the user agrees to replace it.
    bool MayReplace(const CString& path);
    void ShowWarning(const CString& text);
    CString FormatBarTime(const CTime& time) const;
    // The trigger's part of the step: false when it holds the output back.
    bool TriggerAllowsOutput();

    CAnalysisCore& m_core;
    CCorePrompts m_prompts;
    bool m_unattended = false;
    bool m_messageIsFailure = false; // the kind of the message being shown
    CLoggingDisplay* m_display = nullptr;
    std::function<CTime()> m_clock;
    int m_state = kOff;
    CTime m_nextOutput;
};
