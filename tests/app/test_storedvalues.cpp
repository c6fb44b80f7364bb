// Hostile stored values: for every window kind and every key its table lists,
// values no program wrote (the ends of 32 and 64 bits, not-a-number,
// infinity, huge, empty, letters, a 100 kB number) are put into TORVEL.INI, a
// setting data file and a CSV file. The window opens from each, measures a
// little on the simulator, is saved again and closes within a second, and
// every value it writes back lies in its key's range.
#include "analysis/analysiscore.h"
#include "app/childframe.h"
#include "app/mainframe.h"
#include "lib/channellist.h"
#include "lib/drawobject.h"
#include "lib/settingfile.h"
#include "modes/corefactory.h"
#include "modes/keytables.h"
#include "modes/medicalanalysis.h"
#include "modes/normalanalysis.h"
#include "modes/realtimeanalysis.h"
#include "modes/spectrogramanalysis.h"
#include "modes/wlananalysis.h"
#include "modes/xpdanalysis.h"
#include "modes/zerospananalysis.h"
#include "platform/profile.h"
#include "testutil.h"
#include "windowtest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMdiArea>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> HostileValues() {
    return {"-2147483648",
            "2147483647",
            "9223372036854775808",
            "nan",
            "inf",
            "1e300",
            "",
            "abc",
            std::string(100000, '9')};
}

// The text stored in place of a value read at opening: a key still holding
// it after closing was not written back.
constexpr const char* kUnwritten = "unwritten";

// Whether a written value lies in the key's range: a finite number in range
// (levels in a CSV file are written in dB with decimals). Text that is no
// number is reported as it is.
::testing::AssertionResult InRange(const KeyRange& k, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        return ::testing::AssertionFailure()
               << k.key << " written back as \"" << text.substr(0, 40) << "\"";
    if (v < k.low || v > k.high)
        return ::testing::AssertionFailure()
               << k.key << " = " << v << " outside " << k.low << ".." << k.high;
    return ::testing::AssertionSuccess();
}

// Replaces the value of every line "key<sep>value" of a file's text whose key
// the choice gives a value for; returns how many lines were changed.
int ReplaceValues(std::string& text, char sep,
                  const std::function<const std::string*(const std::string&)>& choice) {
    std::istringstream in(text);
    std::string out, line;
    int changed = 0;
    while (std::getline(in, line)) {
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr)
            line.pop_back();
        const size_t at = line.find(sep);
        if (at != std::string::npos && line[0] != '[') {
            if (const std::string* v = choice(line.substr(0, at))) {
                line = line.substr(0, at + 1) + *v;
                ++changed;
            }
        }
        out += line + (cr ? "\r\n" : "\n");
    }
    text = out;
    return changed;
}

// The value of every "key<sep>value" line of a file's text.
std::vector<std::pair<std::string, std::string>> Values(const std::string& text, char sep) {
    std::vector<std::pair<std::string, std::string>> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t at = line.find(sep);
        if (at != std::string::npos && !line.empty() && line[0] != '[')
            values.emplace_back(line.substr(0, at), line.substr(at + 1));
    }
    return values;
}

// Hostile text for the keys whose values are text: empty, control
// characters, a NUL inside, a shell's and a path's tricks, 100 kB.
std::vector<std::string> HostileTexts() {
    return {"",
            "\x01\x7f",
            std::string("COM\0"
                        "9",
                        5),
            "COM4;rm -rf ~",
            "a b",
            "\xff\xfe",
            "../../no-such-folder/port",
            std::string(100000, 'A')};
}

// A draw object's stored pen, brush and font with every number hostile, and
// which range each number of the three values has.
const char* const kDrawKeys[3][2] = {{"Pen", "LogPen"}, {"Brush", "LogBrush"}, {"Font", "LogFont"}};
const std::vector<std::vector<const char*>> kDrawFields = {
    {"Pen.Style", "Pen.Width"},
    {"Brush.Style", "Brush.Hatch"},
    {"Font.Height", "Font.Width", "Font.Escapement", "Font.Orientation", "Font.Weight"}};
std::string HostileDrawValue(int which, int round) {
    const char* extremes[] = {"-2147483648", "2147483647", "-1", "99999"};
    std::string v;
    const int numbers = which == 2 ? 13 : 5;
    for (int i = 0; i < numbers; ++i)
        v += std::string(i ? "," : "") + extremes[(i + round) % 4];
    return which == 2 ? v + ",Arial" : v;
}
::testing::AssertionResult DrawValueInRange(int which, const std::string& text) {
    std::istringstream in(text);
    for (const char* field : kDrawFields[static_cast<size_t>(which)]) {
        long long v = 0;
        char comma = 0;
        if (!(in >> v))
            return ::testing::AssertionFailure() << field << " unreadable in \"" << text << "\"";
        in >> comma;
        const DrawValueRange* range = nullptr;
        for (const DrawValueRange& r : DrawObjectValueRanges())
            if (std::string(r.value) == field)
                range = &r;
        if (!range)
            return ::testing::AssertionFailure() << field << " has no range";
        if (v < range->low || v > range->high)
            return ::testing::AssertionFailure() << field << " = " << v << " in \"" << text << "\"";
    }
    return ::testing::AssertionSuccess();
}

class StoredValuesTest : public AnalysisWindowTest {
protected:
    std::unique_ptr<CMainFrame> frame;
    const std::vector<std::string> hostile = HostileValues();
    const std::vector<std::string> texts = HostileTexts();

    void SetUp() override {
        AnalysisWindowTest::SetUp();
        frame = std::make_unique<CMainFrame>([](const CString&) {});
        frame->SetCoreFactory(CreateAnalysisCore);
        ASSERT_TRUE(frame->Create(false));
    }
    void TearDown() override {
        frame.reset();
        AnalysisWindowTest::TearDown();
    }

    // The keys of a kind read from a source.
    static std::vector<KeyRange> KeysFrom(int kind, unsigned source) {
        std::vector<KeyRange> keys;
        for (const KeyRange& k : KeyTableOf(kind).Keys())
            if (k.sources & source)
                keys.push_back(k);
        return keys;
    }
    static std::vector<TextKeyRange> TextKeysFrom(int kind, unsigned source) {
        std::vector<TextKeyRange> keys;
        for (const TextKeyRange& k : KeyTableOf(kind).TextKeys())
            if (k.sources & source)
                keys.push_back(k);
        return keys;
    }
    const std::string& TextFor(size_t key, int round) const {
        return texts[(key + static_cast<size_t>(round)) % texts.size()];
    }
    // Every text value of the file's keys of this source has its key's form.
    void ExpectTextsAccepted(int kind, unsigned source, const std::string& text,
                             const std::string& what, char sep = '=') {
        const std::vector<TextKeyRange> keys = TextKeysFrom(kind, source);
        for (const auto& [key, value] : Values(text, sep))
            for (const TextKeyRange& k : keys)
                if (key == k.key) {
                    EXPECT_TRUE(k.Accepts(CString(value)))
                        << what << ": " << k.key << " = \"" << value.substr(0, 40) << "\"";
                }
    }
    // The draw objects' profile sections of a window.
    static std::vector<std::string> DrawSections(CChildFrame* w) {
        std::list<CDrawObject*> objects;
        w->GetCore()->GetDrawObjectList(&objects);
        std::vector<std::string> sections;
        for (CDrawObject* o : objects)
            if (o->GetIDString()[0] != '\0')
                sections.emplace_back(o->GetIDString());
        return sections;
    }

    // Round r gives key i the hostile value (i + r) mod their count, so that
    // over as many rounds as values every key meets every value.
    const std::string& ValueFor(size_t key, int round) const {
        return hostile[(key + static_cast<size_t>(round)) % hostile.size()];
    }

    CChildFrame* OpenKind(int kind) {
        // The XPD window's controllers are never looked for on real ports.
        WriteProfileString("XPDAnalysis_1", "PriPortName", dir.file("no-port-1").c_str());
        WriteProfileString("XPDAnalysis_1", "SecPortName", dir.file("no-port-2").c_str());
        return frame->OpenAnalysisWindow(kind, "Hostile", 1);
    }
    // Lets the window measure a little on the simulator.
    void Measure(CChildFrame* w) {
        w->GetCore()->SetAnalyzeFlag(1);
        ::PostMessage(frame->GetSafeHwnd(), WM_SCHEDULE_NEXT, 0, 0);
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void Close(CChildFrame* w, const std::string& what) {
        QElapsedTimer t;
        t.start();
        delete w;
        PumpEvents();
        EXPECT_LT(t.elapsed(), 1000) << what << ": closing took " << t.elapsed() << " ms";
    }
    void SaveSettings(CAnalysisCore* core, const std::string& path) {
        ReleaseSettingFileObject();
        ASSERT_EQ(core->SaveSettings(), 1);
        ASSERT_EQ(WriteSettingFileObject(path.c_str()), 1);
        ReleaseSettingFileObject();
    }
    // Every value of the file's keys of this source lies in its range.
    void ExpectInRange(int kind, unsigned source, const std::string& text, char sep,
                       const std::string& what) {
        const std::vector<KeyRange> keys = KeysFrom(kind, source);
        for (const auto& [key, value] : Values(text, sep))
            for (const KeyRange& k : keys)
                if (key == k.key) {
                    EXPECT_TRUE(InRange(k, value)) << what;
                }
    }

    void ProfileRounds(int kind) {
        const std::vector<KeyRange> keys = KeysFrom(kind, KeyRange::Profile);
        const std::vector<TextKeyRange> textKeys = TextKeysFrom(kind, KeyRange::Profile);
        CChildFrame* w = OpenKind(kind);
        ASSERT_TRUE(w) << kind;
        const std::string section = w->GetCore()->GetProfileSection().c_str();
        const std::vector<std::string> drawSections = DrawSections(w);
        EXPECT_FALSE(drawSections.empty()) << kind;
        Close(w, "kind " + std::to_string(kind));
        for (int round = 0; round < static_cast<int>(hostile.size()); ++round) {
            const std::string what =
                "kind " + std::to_string(kind) + " profile round " + std::to_string(round);
            for (size_t i = 0; i < keys.size(); ++i)
                WriteProfileString(section.c_str(), keys[i].key, ValueFor(i, round).c_str());
            for (size_t i = 0; i < textKeys.size(); ++i)
                WriteProfileString(section.c_str(), textKeys[i].key, TextFor(i, round).c_str());
            for (const std::string& drawSection : drawSections)
                for (int d = 0; d < 3; ++d)
                    WriteProfileString(drawSection.c_str(), kDrawKeys[d][0],
                                       HostileDrawValue(d, round).c_str());
            w = OpenKind(kind);
            ASSERT_TRUE(w) << what;
            for (const KeyRange& k : keys)
                WriteProfileString(section.c_str(), k.key, kUnwritten);
            for (const TextKeyRange& k : textKeys)
                WriteProfileString(section.c_str(), k.key, kUnwritten);
            Measure(w);
            Close(w, what);
            for (const KeyRange& k : keys) {
                const std::string v = GetProfileString(section.c_str(), k.key, kUnwritten).c_str();
                if (v != kUnwritten) {
                    EXPECT_TRUE(InRange(k, v)) << what;
                }
            }
            for (const TextKeyRange& k : textKeys) {
                const CString v = GetProfileString(section.c_str(), k.key, kUnwritten);
                if (v != CString(kUnwritten)) {
                    EXPECT_TRUE(k.Accepts(v)) << what << ": " << k.key;
                }
            }
            for (const std::string& drawSection : drawSections)
                for (int d = 0; d < 3; ++d) {
                    EXPECT_TRUE(DrawValueInRange(
                        d, GetProfileString(drawSection.c_str(), kDrawKeys[d][0]).c_str()))
                        << what << " " << drawSection;
                }
        }
    }

    void SettingRounds(int kind) {
        const std::vector<KeyRange> keys = KeysFrom(kind, KeyRange::Setting);
        const std::vector<TextKeyRange> textKeys = TextKeysFrom(kind, KeyRange::Setting);
        CChildFrame* w = OpenKind(kind);
        ASSERT_TRUE(w) << kind;
        SaveSettings(w->GetCore(), dir.file("clean.SPE"));
        Close(w, "kind " + std::to_string(kind));
        const std::string clean = ReadWholeFile(dir.file("clean.SPE"));
        for (int round = 0; round < static_cast<int>(hostile.size()); ++round) {
            const std::string what =
                "kind " + std::to_string(kind) + " setting file round " + std::to_string(round);
            std::string text = clean;
            const std::string drawValues[3] = {
                HostileDrawValue(0, round), HostileDrawValue(1, round), HostileDrawValue(2, round)};
            const int changed = ReplaceValues(text, '=', [&](const std::string& key) {
                for (size_t i = 0; i < keys.size(); ++i)
                    if (key == keys[i].key)
                        return &ValueFor(i, round);
                for (size_t i = 0; i < textKeys.size(); ++i)
                    if (key == textKeys[i].key)
                        return &TextFor(i, round);
                for (int d = 0; d < 3; ++d)
                    if (key == kDrawKeys[d][1])
                        return &drawValues[d];
                return static_cast<const std::string*>(nullptr);
            });
            EXPECT_GT(changed, 0) << what;
            WriteWholeFile(dir.file("hostile.SPE"), text);
            w = frame->OpenWorkspaceFile(CString(dir.file("hostile.SPE")));
            if (!w)
                continue; // refused as a whole: nothing to write back
            Measure(w);
            SaveSettings(w->GetCore(), dir.file("again.SPE"));
            Close(w, what);
            const std::string again = ReadWholeFile(dir.file("again.SPE"));
            ExpectInRange(kind, KeyRange::Setting, again, '=', what);
            ExpectTextsAccepted(kind, KeyRange::Setting, again, what);
            for (const auto& [key, value] : Values(again, '='))
                for (int d = 0; d < 3; ++d)
                    if (key == kDrawKeys[d][1]) {
                        EXPECT_TRUE(DrawValueInRange(d, value)) << what;
                    }
        }
    }

    void CsvRounds(int kind) {
        const std::vector<KeyRange> keys = KeysFrom(kind, KeyRange::Csv);
        const std::vector<TextKeyRange> textKeys = TextKeysFrom(kind, KeyRange::Csv);
        CChildFrame* w = OpenKind(kind);
        ASSERT_TRUE(w) << kind;
        // A narrow band: a file of many points would first be asked about.
        w->GetCore()->SetSpan(10000);
        w->GetCore()->Reconfigure(TRUE);
        Measure(w);
        ASSERT_EQ(w->GetCore()->WriteCSVFile(dir.file("clean.CSV").c_str()), 1) << kind;
        Close(w, "kind " + std::to_string(kind));
        const std::string clean = ReadWholeFile(dir.file("clean.CSV"));
        for (int round = 0; round < static_cast<int>(hostile.size()); ++round) {
            const std::string what =
                "kind " + std::to_string(kind) + " CSV round " + std::to_string(round);
            std::string text = clean;
            ReplaceValues(text, ',', [&](const std::string& key) {
                for (size_t i = 0; i < keys.size(); ++i)
                    if (key == keys[i].key)
                        return &ValueFor(i, round);
                for (size_t i = 0; i < textKeys.size(); ++i)
                    if (key == textKeys[i].key)
                        return &TextFor(i, round);
                return static_cast<const std::string*>(nullptr);
            });
            WriteWholeFile(dir.file("hostile.CSV"), text);
            w = frame->OpenCsvFile(CString(dir.file("hostile.CSV")));
            if (!w)
                continue; // refused: the file is not this window's
            PumpEvents();
            ASSERT_EQ(w->GetCore()->WriteCSVFile(dir.file("again.CSV").c_str()), 1) << what;
            Close(w, what);
            const std::string again = ReadWholeFile(dir.file("again.CSV"));
            const std::string params = again.substr(0, again.find("[DATA ENTRY]"));
            ExpectInRange(kind, KeyRange::Csv, params, ',', what);
            ExpectTextsAccepted(kind, KeyRange::Csv, params, what, ',');
        }
    }
};

class StoredValuesPerKind : public StoredValuesTest, public ::testing::WithParamInterface<int> {};

TEST_P(StoredValuesPerKind, HostileProfileValuesAreReadIntoRange) {
    ProfileRounds(GetParam());
}

TEST_P(StoredValuesPerKind, HostileSettingFileValuesAreReadIntoRange) {
    SettingRounds(GetParam());
}

TEST_P(StoredValuesPerKind, HostileCsvValuesAreReadIntoRange) {
    CsvRounds(GetParam());
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StoredValuesPerKind, ::testing::Range(1, 8));

// A setting data file brings back what the user set: every kind's window is
// set away from its defaults through its commands, saved, set otherwise and
// closed (its profile then holds the other values), and a window opened from
// the file shows the saved values and writes the same file again.
class SettingFileRestores : public StoredValuesTest, public ::testing::WithParamInterface<int> {
protected:
    // One thing a user sets: how to set it to the saved or the other value,
    // and how to read it.
    struct Knob {
        const char* name;
        std::function<void(CChildFrame*, bool other)> set;
        std::function<long long(CChildFrame*)> get;
    };
    void Command(CChildFrame* w, int action, int p1, int p2 = 0) {
        frame->RemoteCommand(w->GetCore(), action, p1, p2, 0, 0, 0);
    }
    // The commands of every kind, then those of the kind.
    std::vector<Knob> KnobsOf(CChildFrame* window, int kind) {
        auto core = [](CChildFrame* w) { return w->GetCore(); };
        std::vector<Knob> knobs = {
            {"attenuation", [this](CChildFrame* w, bool o) { Command(w, 17, o ? 20 : 10); },
             [=](CChildFrame* w) { return core(w)->GetAttenuation(); }},
            {"reference position", [this](CChildFrame* w, bool o) { Command(w, 33, o ? 4 : 6); },
             [=](CChildFrame* w) { return core(w)->GetReferencePosition(); }},
            {"scale", [this](CChildFrame* w, bool o) { Command(w, 31, o ? 3 : 2); },
             [=](CChildFrame* w) { return core(w)->GetScale(); }},
            {"unit", [this](CChildFrame* w, bool o) { Command(w, 32, o ? 3 : 2); },
             [=](CChildFrame* w) { return core(w)->GetUnit(); }},
            {"max hold",
             [this, core](CChildFrame* w, bool o) {
                 if ((core(w)->GetMaxHoldFlag() != 0) == o)
                     Command(w, 25, 0);
             },
             [=](CChildFrame* w) { return core(w)->GetMaxHoldFlag(); }},
        };
        if (RbwIndex(window, false) != RbwIndex(window, true)) // a choice of two at least
            knobs.push_back({"RBW",
                             [this](CChildFrame* w, bool o) { Command(w, 24, RbwIndex(w, o)); },
                             [=](CChildFrame* w) { return core(w)->GetRBWIndex(); }});
        if (kind != 2 && kind != 3 && kind != 5) { // fixed, or the channel's
            knobs.push_back({"span",
                             [this](CChildFrame* w, bool o) { Command(w, 22, o ? 8000 : 4000); },
                             [=](CChildFrame* w) { return core(w)->GetSpan(); }});
        }
        if (kind != 2 && kind != 6) { // the WLAN and medical bands follow their channel
            knobs.push_back({"centre",
                             [=](CChildFrame* w, bool o) {
                                 core(w)->SetCenter(o ? 431000 : 150000);
                                 core(w)->Reconfigure(TRUE);
                             },
                             [](CChildFrame* w) {
                                 return dynamic_cast<CNormalAnalysis*>(w->GetCore())->GetCenter();
                             }});
        }
        switch (kind) {
        case 2:
            knobs.push_back({"channel",
                             [this](CChildFrame* w, bool o) {
                                 // Channels 1, 6 and 11 of the list, put on the panel.
                                 auto* c = dynamic_cast<CWlanAnalysis*>(w->GetCore());
                                 for (int n : {1, 6, 11})
                                     if (!c->GetPanel().HasChannel(n))
                                         Command(w, 151, n);
                                 Command(w, 155, o ? 11 : 6);
                             },
                             [](CChildFrame* w) {
                                 return dynamic_cast<CWlanAnalysis*>(w->GetCore())
                                     ->GetPanel()
                                     .GetSelectedButton();
                             }});
            break;
        case 3: {
            auto zs = [](CChildFrame* w) { return dynamic_cast<CZeroSpanAnalysis*>(w->GetCore()); };
            knobs.push_back({"sweep time",
                             [this](CChildFrame* w, bool o) { Command(w, 252, o ? 200 : 1000); },
                             [=](CChildFrame* w) { return zs(w)->GetTimeSpan(); }});
            knobs.push_back({"trigger type",
                             [this](CChildFrame* w, bool o) { Command(w, 253, o ? 2 : 1); },
                             [=](CChildFrame* w) { return zs(w)->GetTriggerType(); }});
            knobs.push_back({"trigger mode",
                             [this](CChildFrame* w, bool o) { Command(w, 254, o ? 0 : 1); },
                             [=](CChildFrame* w) { return zs(w)->GetTriggerMode(); }});
            knobs.push_back({"trigger position",
                             [this](CChildFrame* w, bool o) { Command(w, 255, o ? 75 : 25); },
                             [=](CChildFrame* w) { return zs(w)->GetTriggerTimePosition(); }});
            knobs.push_back(
                {"trigger level",
                 [=](CChildFrame* w, bool o) {
                     zs(w)->GetTriggerLine().SetPositionRatio(o ? 0x4000 : 0xC000);
                 },
                 [=](CChildFrame* w) { return zs(w)->GetTriggerLine().GetPositionRatio(); }});
            knobs.push_back({"band power",
                             [this](CChildFrame* w, bool o) { Command(w, 257, o ? 0 : 2); },
                             [=](CChildFrame* w) { return zs(w)->GetAccumulateMode(); }});
            knobs.push_back(
                {"bin", [this](CChildFrame* w, bool o) { Command(w, 258, 0, o ? 48 : 56); },
                 [=](CChildFrame* w) { return zs(w)->GetZeroSpanMarker().GetLockFrequency(); }});
            break;
        }
        case 4:
        case 5: {
            auto sg = [](CChildFrame* w) {
                return dynamic_cast<CSpectrogramAnalysis*>(w->GetCore());
            };
            knobs.push_back({"view", [this](CChildFrame* w, bool o) { Command(w, 208, o ? 0 : 1); },
                             [=](CChildFrame* w) { return sg(w)->GetViewMode(); }});
            knobs.push_back({"slice",
                             [this](CChildFrame* w, bool o) { Command(w, 203, o ? 3 : 7); },
                             [=](CChildFrame* w) { return sg(w)->GetSlicePosition(); }});
            knobs.push_back(
                {"chunk", [this](CChildFrame* w, bool o) { Command(w, 204, o ? 432000 : 150500); },
                 [=](CChildFrame* w) { return sg(w)->GetChunkFrequency(); }});
            if (kind == 5) {
                auto rt = [](CChildFrame* w) {
                    return dynamic_cast<CRealTimeAnalysis*>(w->GetCore());
                };
                // A level trigger sets the type too: the type comes after.
                knobs.push_back(
                    {"trigger level",
                     [this](CChildFrame* w, bool o) { Command(w, 302, o ? 500 : 1500); },
                     [=](CChildFrame* w) { return rt(w)->GetSenseTrigValue(); }});
                knobs.push_back({"trigger type",
                                 [this](CChildFrame* w, bool o) { Command(w, 301, o ? 0 : 2); },
                                 [=](CChildFrame* w) { return rt(w)->GetTrigType(); }});
                knobs.push_back({"trigger mode",
                                 [this](CChildFrame* w, bool o) { Command(w, 303, o ? 0 : 1); },
                                 [=](CChildFrame* w) { return rt(w)->GetTrigMode(); }});
                knobs.push_back({"trigger position",
                                 [this](CChildFrame* w, bool o) { Command(w, 304, o ? 4 : 128); },
                                 [=](CChildFrame* w) { return rt(w)->GetTrigPosition(); }});
            }
            break;
        }
        case 6: {
            auto md = [](CChildFrame* w) { return dynamic_cast<CMedicalAnalysis*>(w->GetCore()); };
            // The channel picked, which centres the narrow graph.
            knobs.push_back({"channel",
                             [this](CChildFrame* w, bool o) {
                                 Command(w, CMedicalAnalysis::kCmdPickIndex,
                                         GetChannelIndex(o ? "A1005" : "A1003"));
                             },
                             [=](CChildFrame* w) -> long long {
                                 // The channel and the narrow graph's centre on it.
                                 const CChannelObject* c = md(w)->GetPanel().GetCurrentChannel();
                                 return (c ? c->GetIndexNumber() : -1) * 10000000LL +
                                        md(w)->GetCenter();
                             }});
            knobs.push_back({"band width",
                             [this](CChildFrame* w, bool o) { Command(w, 163, o ? 2 : 5); },
                             [=](CChildFrame* w) { return md(w)->GetBandWidth(); }});
            knobs.push_back({"y offset",
                             [this](CChildFrame* w, bool o) { Command(w, 162, o ? 0 : -10); },
                             [=](CChildFrame* w) { return md(w)->GetYAxisOffset(); }});
            knobs.push_back({"alarm",
                             [this](CChildFrame* w, bool o) { Command(w, 170, o ? 0 : 1); },
                             [=](CChildFrame* w) { return md(w)->GetAlarmFlag(); }});
            knobs.push_back(
                {"alarm level",
                 [=](CChildFrame* w, bool o) {
                     md(w)->GetAlarmLine().SetPositionRatio(o ? 0x4000 : 0xC000);
                 },
                 [=](CChildFrame* w) { return md(w)->GetAlarmLine().GetPositionRatio(); }});
            knobs.push_back({"band indication",
                             [this](CChildFrame* w, bool o) { Command(w, 164, o ? 1 : 0); },
                             [=](CChildFrame* w) { return md(w)->GetBandIndicateFlag(); }});
            knobs.push_back({"band zoom",
                             [this](CChildFrame* w, bool o) { Command(w, 161, o ? 3 : 2); },
                             [=](CChildFrame* w) { return md(w)->GetBandZoomFlag(); }});
            break;
        }
        case 7: {
            auto xpd = [](CChildFrame* w) { return dynamic_cast<CXpdAnalysis*>(w->GetCore()); };
            knobs.push_back(
                {"alarm value",
                 [this](CChildFrame* w, bool o) {
                     Command(w, CXpdAnalysis::kCmdSetAlarmValue, o ? 2000 : 3550);
                 },
                 [=](CChildFrame* w) { return std::lround(xpd(w)->GetAlarmValue() * 100); }});
            knobs.push_back(
                {"detect level",
                 [this](CChildFrame* w, bool o) {
                     Command(w, CXpdAnalysis::kCmdSetDetectLevel, o ? 500 : -1250);
                 },
                 [=](CChildFrame* w) { return std::lround(xpd(w)->GetDetectLevel() * 100); }});
            break;
        }
        default:
            break;
        }
        return knobs;
    }
    // The first and the last RBW index the kind's device offers.
    static int RbwIndex(CChildFrame* w, bool other) {
        std::vector<int> valid;
        for (int i = 0; i < 14; ++i)
            if (w->GetCore()->GetCommandState(24, i, 0, 0, 0, 0) >= 0)
                valid.push_back(i);
        return other ? valid.front() : valid.back();
    }
    // Sections and keys of a setting data file with their values.
    static std::map<std::string, std::string> Entries(const std::string& text) {
        std::map<std::string, std::string> entries;
        std::istringstream in(text);
        std::string section;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty() && line[0] == '[')
                section = line;
            else if (const size_t at = line.find('='); at != std::string::npos)
                entries[section + line.substr(0, at)] = line.substr(at + 1);
        }
        return entries;
    }
};

TEST_P(SettingFileRestores, EverythingTheUserSetComesBackFromTheFile) {
    const int kind = GetParam();
    CChildFrame* w = OpenKind(kind);
    ASSERT_TRUE(w) << kind;
    const std::vector<Knob> knobs = KnobsOf(w, kind);
    std::vector<long long> saved;
    for (const Knob& k : knobs)
        k.set(w, false);
    for (const Knob& k : knobs)
        saved.push_back(k.get(w));
    SaveSettings(w->GetCore(), dir.file("set.SPE"));
    for (size_t i = 0; i < knobs.size(); ++i) {
        knobs[i].set(w, true);
        ASSERT_NE(knobs[i].get(w), saved[i]) << kind << " " << knobs[i].name << " did not change";
    }
    for (const Knob& k : knobs) // a later command may have moved an earlier one
        ASSERT_NE(k.get(w), saved[&k - knobs.data()]) << kind << " " << k.name;
    // Loaded into the window through its own command: the saved values.
    w->GetCore()->GetLoggingOutput().Prompts().chooseOpenPath = [this](const char*) {
        return CString(dir.file("set.SPE").c_str());
    };
    Command(w, 9, 0);
    for (size_t i = 0; i < knobs.size(); ++i)
        EXPECT_EQ(knobs[i].get(w), saved[i]) << "kind " << kind << ", loaded: " << knobs[i].name;
    for (size_t i = 0; i < knobs.size(); ++i)
        knobs[i].set(w, true);
    Close(w, "first");

    w = frame->OpenWorkspaceFile(CString(dir.file("set.SPE")));
    ASSERT_TRUE(w) << kind;
    for (size_t i = 0; i < knobs.size(); ++i)
        EXPECT_EQ(knobs[i].get(w), saved[i]) << "kind " << kind << ": " << knobs[i].name;
    SaveSettings(w->GetCore(), dir.file("again.SPE"));
    Close(w, "second");
    const auto first = Entries(ReadWholeFile(dir.file("set.SPE")));
    const auto again = Entries(ReadWholeFile(dir.file("again.SPE")));
    for (const auto& [key, value] : first) {
        const auto it = again.find(key);
        ASSERT_NE(it, again.end()) << "kind " << kind << ": " << key;
        EXPECT_EQ(it->second, value) << "kind " << kind << ": " << key;
    }
    EXPECT_EQ(first.size(), again.size()) << kind;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, SettingFileRestores, ::testing::Range(1, 8));

TEST(KeyTables, RangesHoldTheirDefaultsAndCheckedBringsValuesIntoThem) {
    for (int kind = 1; kind <= 7; ++kind) {
        const CKeyTable& table = KeyTableOf(kind);
        for (const KeyRange& k : table.Keys()) {
            EXPECT_LE(k.low, k.high) << k.key;
            EXPECT_GE(k.fallback, k.low) << kind << " " << k.key;
            EXPECT_LE(k.fallback, k.high) << kind << " " << k.key;
            for (std::int64_t v : {std::int64_t{INT32_MIN}, std::int64_t{-1}, std::int64_t{0},
                                   std::int64_t{INT32_MAX}, std::int64_t{1} << 40}) {
                const int c = table.Checked(k.key, v);
                EXPECT_TRUE(c >= k.low && c <= k.high) << kind << " " << k.key << " " << v;
                if (v >= k.low && v <= k.high) {
                    EXPECT_EQ(c, v) << k.key;
                }
            }
        }
    }
    // Text keys: their fallbacks are of their form; a value of another form
    // or length gives the fallback, one of the form is kept.
    for (int kind = 1; kind <= 7; ++kind)
        for (const TextKeyRange& k : KeyTableOf(kind).TextKeys()) {
            EXPECT_TRUE(k.Accepts(CString(k.fallback))) << k.key;
            EXPECT_EQ(
                KeyTableOf(kind).CheckedText(k.key, CString(std::string(k.maxLength + 1, 'A'))),
                CString(k.fallback))
                << k.key;
            EXPECT_EQ(KeyTableOf(kind).CheckedText(k.key, CString("a\nb")), CString(k.fallback))
                << k.key;
        }
    const CKeyTable& xpd = KeyTableOf(7);
    for (const char* port : {"COM4", "/dev/ttyUSB0", "/tmp/torvel-1/pty.2"})
        EXPECT_EQ(xpd.CheckedText("PriPortName", CString(port)), CString(port));
    for (const std::string& port :
         {std::string(), std::string("COM4;reboot"), std::string("a b"), std::string("\xff"),
          std::string("COM\0"
                      "9",
                      5)})
        EXPECT_EQ(xpd.CheckedText("PriPortName", CString(port)), CString("COM4")) << port;
    EXPECT_EQ(xpd.CheckedText("PriMessage", CString("\xe6\xb3\xa2 [RF1]")),
              CString("\xe6\xb3\xa2 [RF1]"));
    // Draw values: styles fall back, sizes are clamped.
    LOGPEN pen;
    pen.lopnStyle = 99;
    pen.lopnWidth.x = 1 << 30;
    LOGBRUSH brush;
    brush.lbStyle = 2;
    brush.lbHatch = static_cast<std::uintptr_t>(-1);
    LOGFONT font;
    font.lfHeight = INT32_MIN;
    font.lfWeight = 700;
    CheckDrawValues(&pen, &brush, &font);
    EXPECT_EQ(pen.lopnStyle, PS_SOLID);
    EXPECT_EQ(pen.lopnWidth.x, 64);
    EXPECT_EQ(brush.lbStyle, 2u);
    EXPECT_EQ(brush.lbHatch, 0u);
    EXPECT_EQ(font.lfHeight, -512);
    EXPECT_EQ(font.lfWeight, 700);

    // Choices fall back to their default, amounts are clamped.
    EXPECT_EQ(KeyTableOf(3).Checked("TriggerType", 7), 0);
    EXPECT_EQ(KeyTableOf(3).Checked("TimeSpan", 1 << 30), 50000);
    EXPECT_EQ(KeyTableOf(3).Checked("TimeSpan", -5), 1);
}

} // namespace
