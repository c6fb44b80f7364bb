#include "savedfiles.h"

#include "analysis/analysiscore.h"
#include "analysis/csvfile.h"
#include "lib/channellist.h"
#include "lib/logwindow.h"
#include "lib/settingfile.h"
#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/profile.h"
#include "platform/safereplace.h"

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// Lines or keys per file: enough that a write takes a while.
constexpr int kSettingKeys = 3000;
constexpr int kCsvRows = 6000;
constexpr int kLogLines = 600;
constexpr int kProfileKeys = 3000;
constexpr const char* kSection = "SAVE_TEST";
constexpr const char* kCsvMarker = "[SAVE TEST]";
constexpr int kImageWidth = 640, kImageHeight = 480;
constexpr int kChannelBase = 100000;

int KeyValue(int gen, int k) {
    return gen * 7 + k;
}

COLORREF GenerationColor(int gen) {
    return RGB(gen & 0xFF, (gen >> 8) & 0xFF, 77);
}

// ---- Setting data file

class SettingWriter : public SavedFileWriter {
public:
    bool Write(const std::string& path, int gen) override {
        ReleaseSettingFileObject();
        WriteSettingFileINT(kSection, "Generation", gen);
        char key[32];
        for (int k = 0; k < kSettingKeys; ++k) {
            std::snprintf(key, sizeof key, "Key%d", k);
            WriteSettingFileINT(kSection, key, KeyValue(gen, k));
        }
        WriteSettingFileINT(kSection, "Last", gen);
        return WriteSettingFileObject(path.c_str()) == 1;
    }
};

int ReadSetting(const std::string& path) {
    ReleaseSettingFileObject();
    int gen = -1, last = -2;
    if (LoadSettingFile(path.c_str()) != 1 || !GetSettingFileINT(kSection, "Generation", &gen) ||
        !GetSettingFileINT(kSection, "Last", &last) || last != gen)
        return -1;
    char key[32];
    for (int k = 0; k < kSettingKeys; ++k) {
        std::snprintf(key, sizeof key, "Key%d", k);
        int v = -1;
        if (!GetSettingFileINT(kSection, key, &v) || v != KeyValue(gen, k))
            return -1;
    }
    return gen;
}

// ---- Cores for the CSV file and the images

class GenerationCore : public CAnalysisCore {
public:
    GenerationCore() : CAnalysisCore(nullptr, nullptr) {
        SetTitle("Save 1");
        SetTitleIndex(1);
        SetLastDataTime(CTime(2024, 6, 1, 12, 0, 0));
    }
    int GetAnalysisType() override { return 1; }
    int WriteCSVSections(CStdioFile& file) override {
        CString text;
        text.Format("%s\nGeneration,%d\n", kCsvMarker, gen);
        std::string out = text.str();
        char row[64];
        for (int i = 0; i < kCsvRows; ++i) {
            std::snprintf(row, sizeof row, "Row,%d,%d\n", i, KeyValue(gen, i));
            out += row;
        }
        std::snprintf(row, sizeof row, "End,%d\n", gen);
        out += row;
        return file.WriteString(out.c_str()) ? 1 : 0;
    }
    // A picture that compresses poorly: a stripe per row, a colour of the
    // generation in the middle.
    void DrawView(CDC* dc, const CRect& rect) override {
        for (int y = 0; y < rect.Height(); ++y)
            dc->FillSolidRect(0, y, rect.Width(), 1,
                              RGB((y * 37) & 0xFF, (y * 11 + gen) & 0xFF, y));
        dc->FillSolidRect(rect.Width() / 4, rect.Height() / 4, rect.Width() / 2, rect.Height() / 2,
                          GenerationColor(gen));
    }
    void SetTimeStamp(const CString&, BOOL) override {}
    int gen = 0;
};

class CoreWriter : public SavedFileWriter {
public:
    explicit CoreWriter(std::string kind) : m_kind(std::move(kind)) {}
    bool Write(const std::string& path, int gen) override {
        m_core.gen = gen;
        if (m_kind == "csv")
            return m_core.WriteCSVFile(path.c_str()) == 1;
        if (m_kind == "bmp")
            return m_core.WriteBMPImage(path.c_str()) == 1;
        return m_core.WritePNGImage(path.c_str()) == 1;
    }

private:
    std::string m_kind;
    GenerationCore m_core;
};

int ReadCsv(const std::string& path) {
    int kind = 0, variant = 0;
    CString caption;
    if (!CCsvFile::ReadHeader(path.c_str(), &kind, &variant, &caption) || kind != 1)
        return -1;
    CCsvFile file;
    std::string line;
    if (!file.Open(path.c_str()) || !file.FindSection(kCsvMarker) || !file.ReadLine(line))
        return -1;
    const CCsvLine head(line);
    const int gen = head.IntField(0);
    if (head.Key() != "Generation" || gen == kCsvMissing)
        return -1;
    for (int i = 0; i < kCsvRows; ++i) {
        if (!file.ReadLine(line))
            return -1;
        const CCsvLine row(line);
        if (row.Key() != "Row" || row.GetFieldCount() != 2 || row.IntField(0) != i ||
            row.IntField(1) != KeyValue(gen, i))
            return -1;
    }
    if (!file.ReadLine(line) || CCsvLine(line).Key() != "End" || CCsvLine(line).IntField(0) != gen)
        return -1;
    return file.ReadLine(line) ? -1 : gen;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int ReadImage(const std::string& kind, const std::string& path) {
    const std::string bytes = FileBytes(path);
    if (kind == "bmp") {
        // The size the file header gives is the size of the whole file.
        std::uint32_t size = 0;
        if (bytes.size() < 6)
            return -1;
        std::memcpy(&size, bytes.data() + 2, 4);
        if (size != bytes.size())
            return -1;
    } else {
        static constexpr char kEnd[] = "IEND\xAE\x42\x60\x82";
        if (bytes.size() < 8 || bytes.compare(bytes.size() - 8, 8, kEnd, 8) != 0)
            return -1;
    }
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                            static_cast<int>(bytes.size()), kind == "bmp" ? "BMP" : "PNG") ||
        image.width() != kImageWidth || image.height() != kImageHeight)
        return -1;
    const QRgb centre = image.pixel(kImageWidth / 2, kImageHeight / 2);
    if (qBlue(centre) != 77)
        return -1;
    const int gen = qRed(centre) | (qGreen(centre) << 8);
    // Every row of the picture is the one that generation draws.
    for (int y = 0; y < kImageHeight; ++y) {
        const QRgb p = image.pixel(0, y);
        if (qRed(p) != ((y * 37) & 0xFF) || qGreen(p) != ((y * 11 + gen) & 0xFF) ||
            qBlue(p) != (y & 0xFF))
            return -1;
    }
    return image.pixel(kImageWidth / 4, kImageHeight * 3 / 4 - 1) == centre ? gen : -1;
}

// ---- Channel list

class ChannelWriter : public SavedFileWriter {
public:
    ChannelWriter() {
        // Every slot in use, so that every line of the file carries the number.
        std::string list;
        char line[96];
        for (int i = 0; i < kChannelCount; ++i) {
            std::snprintf(line, sizeof line, "[%04d]:C%d,%d,1000,10,20,30,1,0,0,0\n", i, i,
                          kChannelBase);
            list += line;
        }
        const std::string seed =
            (std::filesystem::temp_directory_path() / ("seedlist." + std::to_string(getpid())))
                .string();
        CSafeReplace::WriteFile(seed.c_str(), list.data(), list.size());
        LoadChannelList(seed.c_str());
        std::remove(seed.c_str());
    }
    bool Write(const std::string& path, int gen) override {
        for (int i = 0; i < kChannelCount; ++i)
            if (CChannelObject* c = GetChannelObject(i))
                c->SetCenterFrequency(kChannelBase + KeyValue(gen, i));
        return WriteChannelList(path.c_str()) == 1;
    }
};

int ReadChannels(const std::string& path) {
    // Slots a short file would not reach must not keep earlier values.
    for (int i = 0; i < kChannelCount; ++i)
        if (CChannelObject* c = GetChannelObject(i))
            c->SetCenterFrequency(-1);
    if (LoadChannelList(path.c_str()) != 1)
        return -1;
    const CChannelObject* first = GetChannelObject(0);
    if (!first)
        return -1;
    const int gen = (first->GetCenterFrequency() - kChannelBase) / 7;
    for (int i = 0; i < kChannelCount; ++i) {
        const CChannelObject* c = GetChannelObject(i);
        if (!c || c->GetCenterFrequency() != kChannelBase + KeyValue(gen, i))
            return -1;
    }
    return gen;
}

// ---- Text log

class TextLogWriter : public SavedFileWriter {
public:
    bool Write(const std::string& path, int gen) override {
        m_window.ClearText();
        char text[96];
        for (int i = 0; i < kLogLines; ++i) {
            std::snprintf(text, sizeof text, "generation %d line %d value %d", gen, i,
                          KeyValue(gen, i));
            m_window.AddText(text);
        }
        std::snprintf(text, sizeof text, "generation %d complete", gen);
        m_window.AddText(text);
        return m_window.SaveText(path.c_str()) == TRUE;
    }

    // The window saves a text it still holds when it goes; this one must not.
    ~TextLogWriter() override { m_window.ClearText(); }

private:
    CLogWindow m_window;
};

int ReadTextLog(const std::string& path) {
    CStdioFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeText))
        return -1;
    CString line;
    int gen = -1;
    for (int i = 0; i <= kLogLines; ++i) {
        // "%m/%d %H:%M:%S : " before each text.
        if (!file.ReadString(line) || line.GetLength() < 17 || line.Mid(14, 3) != " : ")
            return -1;
        const CString text = line.Mid(17);
        int g = -1, n = -1, v = -1;
        if (i < kLogLines) {
            if (std::sscanf(text.c_str(), "generation %d line %d value %d", &g, &n, &v) != 3 ||
                n != i || v != KeyValue(g, i))
                return -1;
        } else {
            char expected[64];
            std::snprintf(expected, sizeof expected, "generation %d complete", gen);
            if (text != expected)
                return -1;
            g = gen;
        }
        if (gen >= 0 && g != gen)
            return -1;
        gen = g;
    }
    return file.ReadString(line) || file.HasFailed() ? -1 : gen;
}

// ---- Profile

class ProfileWriter : public SavedFileWriter {
public:
    bool Write(const std::string& path, int gen) override {
        if (GetProfileFile() != path.c_str())
            SetProfileFile(path.c_str());
        WriteProfileInt(kSection, "Generation", gen);
        char key[32];
        for (int k = 0; k < kProfileKeys; ++k) {
            std::snprintf(key, sizeof key, "Key%d", k);
            WriteProfileInt(kSection, key, KeyValue(gen, k));
        }
        WriteProfileInt(kSection, "Last", gen);
        return FlushProfile() == TRUE;
    }
    ~ProfileWriter() override { SetProfileFile(""); }
};

int ReadProfile(const std::string& path) {
    SetProfileFile(path.c_str());
    int gen = -1;
    if (GetProfileLoadProblem().IsEmpty()) {
        gen = GetProfileInt(kSection, "Generation", -1);
        if (GetProfileInt(kSection, "Last", -2) != gen)
            gen = -1;
        char key[32];
        for (int k = 0; k < kProfileKeys && gen >= 0; ++k) {
            std::snprintf(key, sizeof key, "Key%d", k);
            if (GetProfileInt(kSection, key, -1) != KeyValue(gen, k))
                gen = -1;
        }
    }
    SetProfileFile("");
    return gen;
}

} // namespace

const std::vector<std::string>& SavedFileWriter::Kinds() {
    static const std::vector<std::string> kinds{"setting",  "csv",     "bmp",    "png",
                                                "channels", "textlog", "profile"};
    return kinds;
}

std::unique_ptr<SavedFileWriter> SavedFileWriter::Make(const std::string& kind) {
    if (kind == "setting")
        return std::make_unique<SettingWriter>();
    if (kind == "csv" || kind == "bmp" || kind == "png")
        return std::make_unique<CoreWriter>(kind);
    if (kind == "channels")
        return std::make_unique<ChannelWriter>();
    if (kind == "textlog")
        return std::make_unique<TextLogWriter>();
    if (kind == "profile")
        return std::make_unique<ProfileWriter>();
    return nullptr;
}

int SavedFileWriter::ReadGeneration(const std::string& kind, const std::string& path) {
    if (kind == "setting")
        return ReadSetting(path);
    if (kind == "csv")
        return ReadCsv(path);
    if (kind == "bmp" || kind == "png")
        return ReadImage(kind, path);
    if (kind == "channels")
        return ReadChannels(path);
    if (kind == "textlog")
        return ReadTextLog(path);
    if (kind == "profile")
        return ReadProfile(path);
    return -1;
}
