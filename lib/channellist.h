// The channel list: a library-wide table of 1500 named frequency channels
// (CChannelObject, a blend object so that its band can be placed on a
// frequency axis by ratios), loaded from and written to the channel list file,
// and the 64 category colours kept in the application profile.
#pragma once

#include "lib/blendobject.h"
#include "platform/cstring.h"
#include "platform/wintypes.h"

class CChannelObject : public CBlendObject {
public:
    // The title of an unused slot.
    static constexpr const char* kNotEntry = "NotEntry";
    // Text after the 7-character prefix that LoadChannel looks at; the rest of a
    // longer line is ignored.
    static constexpr int kMaxLineText = 1023;

    CChannelObject() = default;
    CChannelObject(const CChannelObject& other) = default;
    // Copies every field; the base part with CBlendObject's assignment.
    CChannelObject& operator=(const CChannelObject& other);
    ~CChannelObject() override;

    CString GetTitle() const { return m_Title; }
    // The text after the line prefix: "NotEntry" for an unused slot, else
    // "title,centre,span,red,green,blue,category,detect,fine,additional".
    CString GetRawText() const;
    int GetCenterFrequency() const { return m_CenterFrequency; }
    void SetCenterFrequency(int frequency) { m_CenterFrequency = frequency; }
    int GetSpanFrequency() const { return m_SpanFrequency; }
    void SetSpanFrequency(int span) { m_SpanFrequency = span; }
    char GetCategory() const { return m_Category; }
    char GetDetectMode() const { return m_DetectMode; }
    // Library string 60 + detect mode; null past the string table.
    const char* GetDetectModeText() const;
    int GetFineFrequency() const { return m_FineFrequency; }
    int GetAdditionalParam() const { return m_AdditionalParam; }
    int GetIndexNumber() const { return m_IndexNumber; }
    COLORREF GetCategoryColor() const;
    // 1 when centre - span/2 <= frequency <= centre + span/2.
    int IsRange(int frequency) const;
    // Places the band on a frequency axis from low to high (ratios 0 … 1).
    void SetxAxisRatio(int low, int high);
    // Loads slot index from one line of the channel list file.
    void LoadChannel(CString line, int index);
    // Copies the blend state, index, title, centre, span, category and detect
    // mode; not the fine frequency and additional parameter.
    void CopyChannel(CChannelObject* other);

    // Whether the title can be written to the list file and read back as it is
    // (no comma, no line break, not empty).
    bool HasWritableTitle() const;

private:
    int m_IndexNumber = -1;
    CString m_Title;
    int m_CenterFrequency = 0;
    int m_SpanFrequency = 2;
    char m_Category = 0;
    char m_DetectMode = 0;
    int m_FineFrequency = 0;
    int m_AdditionalParam = 0;
};

// Number of slots in the list and of category colours.
constexpr int kChannelCount = 1500;
constexpr int kCategoryColorCount = 64;
constexpr COLORREF kDefaultCategoryColor = RGB(180, 180, 190);

extern "C" {
// 1 if the file was opened (the list then holds its first 1500 lines), else 0
// with the list unchanged.
int LoadChannelList(const char* path);
// Replaces the file with the 1500 lines of the list; 1 on success. On failure
// (and for a title that cannot be written back) the earlier file is untouched.
int WriteChannelList(const char* path);
// The channel in slot index, or null for an unused slot or an index outside
// 0 … 1499.
CChannelObject* GetChannelObject(int index);
int GetCategoryChannelNum(int category);
CChannelObject* SerchChannelObject(int frequency, int category, int byRange);
COLORREF GetChannelCategoryColor(int category);
COLORREF WriteChannelCategoryColor(int category, COLORREF color);
} // extern "C"

// Index of the first channel with this title, else -1.
int GetChannelIndex(const char* title);
// Index of the first channel of the category (and title, when not null), else -1.
int GetChannelIndex(int category, const char* title);

// Reads the 64 category colours from the profile and writes them all back; run
// by the library start-up once the string table has been read.
void LoadChannelCategoryColors();
