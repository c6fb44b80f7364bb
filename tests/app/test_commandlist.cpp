// The command list: line parsing, list nesting by level, menus and lookups.
#include "app/buttonbar.h"
#include "app/commandlist.h"
#include "lib/stringtable.h"
#include "testutil.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace {
// Loads a string table whose lines 100.. are the given command lines.
void loadTable(const TempDir& dir, const std::vector<std::string>& commands) {
    std::ofstream out(dir.file("table.txt"));
    for (int i = 0; i < 3000; ++i) {
        size_t k = static_cast<size_t>(i - 100);
        if (i >= 100 && k < commands.size())
            out << commands[k] << "\n";
        else
            out << "NotEntry\n";
    }
    out.close();
    ASSERT_EQ(InitializeTorvelLibDLL(dir.file("table.txt").c_str(), 2500), 1);
}
} // namespace

TEST(CommandEntry, ParsesElevenFieldsAndCutsTheCaptionAtATab) {
    CCommandEntry e;
    ASSERT_TRUE(CCommandEntry::Parse("NORMAL_FRAME_1,Peak\tF5,0,2,-1,36,1,2,3,4,5", e));
    EXPECT_EQ(e.listName, "NORMAL_FRAME_1");
    EXPECT_EQ(e.caption, "Peak");
    EXPECT_EQ(e.shortcut, "F5");
    EXPECT_EQ(e.level, 2);
    EXPECT_EQ(e.checkState, -1);
    EXPECT_EQ(e.action, 36);
    EXPECT_EQ(e.p[4], 5);
    EXPECT_FALSE(CCommandEntry::Parse("A,B,0,0,0,1,1,1,1,1", e)); // ten fields
    EXPECT_FALSE(CCommandEntry::Parse("NotEntry", e));
}

TEST(CommandList, NestsEntriesByLevelAndSkipsInvalidLinesWithoutUsingAnIndex) {
    TempDir dir;
    loadTable(dir, {
                       "M,File,2,0,0,0,0,0,0,0,0",
                       "M,Open,0,1,0,6,0,0,0,0,0",
                       "garbage line",
                       "M,More,2,1,0,0,0,0,0,0,0",
                       "M,Deep,0,2,1,5,2,1,0,0,0",
                       "M,Exit,0,1,0,1,0,0,0,0,0",
                       "B,Normal,0,0,0,5,1,1,0,0,0",
                       "M,Help,2,0,0,0,0,0,0,0,0",
                       "M,About,0,1,0,2,0,0,0,0,0",
                       "END_LIST",
                       "M,After,0,0,0,1,0,0,0,0,0",
                   });
    CCommandList list;
    ASSERT_TRUE(list.Build(100));
    ASSERT_EQ(list.EntryCount(), 8);
    CCommandEntry* file = list.ListOf("M");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->caption, "File");
    EXPECT_EQ(file->commandId, 35000);
    CCommandEntry* open = file->firstChild;
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->caption, "Open");
    EXPECT_EQ(open->commandId, 35001); // the garbage line took no index
    ASSERT_NE(open->next, nullptr);
    CCommandEntry* more = open->next;
    EXPECT_EQ(more->caption, "More");
    ASSERT_NE(more->firstChild, nullptr);
    EXPECT_EQ(more->firstChild->caption, "Deep");
    ASSERT_NE(more->next, nullptr);
    EXPECT_EQ(more->next->caption, "Exit");
    ASSERT_NE(file->next, nullptr);
    EXPECT_EQ(file->next->caption, "Help");
    EXPECT_EQ(list.ListOf("B")->caption, "Normal");
    EXPECT_EQ(list.ListOf("m"), nullptr); // names are case-sensitive

    EXPECT_EQ(list.EntryById(35003)->caption, "Deep");
    EXPECT_EQ(list.EntryById(34999), nullptr);
    EXPECT_EQ(list.EntryByAction(5, 1, 1)->caption, "Normal");
    EXPECT_EQ(list.EntryByAction(5, 1, 2), nullptr);

    QMenu* menu = list.MenuOf("M");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2); // File and Help pop-ups
    QMenu* fileMenu = menu->actions()[0]->menu();
    ASSERT_NE(fileMenu, nullptr);
    ASSERT_EQ(fileMenu->actions().size(), 3);
    EXPECT_EQ(fileMenu->actions()[0]->data().toInt(), 35001);
    QMenu* moreMenu = fileMenu->actions()[1]->menu();
    ASSERT_NE(moreMenu, nullptr);
    EXPECT_TRUE(moreMenu->actions()[0]->isChecked()); // check state 1
}

TEST(CommandList, EmptyListOrTooManyListsFail) {
    TempDir dir;
    loadTable(dir, {"END_LIST"});
    CCommandList empty;
    EXPECT_FALSE(empty.Build(100));

    std::vector<std::string> many;
    for (int i = 0; i < 129; ++i)
        many.push_back("L" + std::to_string(i) + ",x,0,0,0,0,0,0,0,0,0");
    loadTable(dir, many);
    CCommandList tooMany;
    EXPECT_FALSE(tooMany.Build(100));
    many.pop_back();
    loadTable(dir, many);
    CCommandList enough;
    EXPECT_TRUE(enough.Build(100));
}

TEST(ButtonBar, TenColumnsInSixteenDotSixteenCoverTheBarWithoutOverlap) {
    for (int width : {0, 9, 10, 640, 641, 1917}) {
        auto rects = CButtonBar::Layout(CRect(0, 0, width, 40));
        int right = width - 2;
        EXPECT_EQ(rects[0].left, 2);
        for (size_t i = 0; i < rects.size(); ++i) {
            EXPECT_EQ(rects[i].top, 3);
            EXPECT_EQ(rects[i].bottom, 37);
            EXPECT_LE(rects[i].right, right);
            if (i > 0) {
                EXPECT_GE(rects[i].left, rects[i - 1].right) << "width " << width;
            }
        }
        if (width >= 10) {
            EXPECT_EQ(rects[9].right, right);
        }
    }
}

TEST(CommandList, NoTwoItemsOfAShippedMenuShareAMnemonicAndNamedKeysAreShown) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    CCommandList list;
    ASSERT_TRUE(list.Build(100));
    for (QMenu* menu : list.AllMenus()) {
        std::map<QChar, QString> taken;
        for (QAction* a : menu->actions()) {
            const QString text = a->text();
            for (qsizetype i = text.indexOf('&'); i >= 0 && i + 1 < text.size();
                 i = text.indexOf('&', i + 2)) {
                if (text[i + 1] == '&')
                    continue;
                const QChar key = text[i + 1].toLower();
                EXPECT_FALSE(taken.count(key))
                    << menu->title().toStdString() << ": \"" << text.toStdString() << "\" and \""
                    << taken[key].toStdString() << "\" share Alt+" << char(key.unicode());
                taken[key] = text;
                break;
            }
        }
    }
    int named = 0;
    for (int i = 0; i < list.EntryCount(); ++i) {
        const CCommandEntry* e = list.Entry(i);
        if (e->shortcut.IsEmpty())
            continue;
        ++named;
        ASSERT_TRUE(e->item) << e->caption.c_str();
        EXPECT_FALSE(e->item->shortcut().isEmpty()) << e->caption.c_str();
        // Several keys are separated by "; ".
        EXPECT_EQ(e->item->shortcuts(),
                  QKeySequence::listFromString(QString::fromUtf8(e->shortcut.c_str())))
            << e->caption.c_str();
    }
    // Ctrl+O in every frame, F1, Window > Close and Next Window in every
    // analysis window.
    EXPECT_GE(named, 8 + 7 * 3);
}

namespace {
// A menu caption as a reader sees it: without its mnemonic marks and the
// dots of an item that opens a dialog.
QString shownCaption(const CString& caption) {
    QString text = QString::fromUtf8(caption.c_str());
    text.replace("&&", QString(QChar(1))).remove('&').replace(QChar(1), "&");
    if (text.endsWith("..."))
        text.chop(3);
    return text.trimmed();
}

// True when some command list has the menu path: a top-level menu named
// path[0], holding path[1], and so on.
bool hasMenuPath(const CCommandList& list, const QStringList& path) {
    for (int i = 0; i < list.EntryCount(); ++i) {
        const CCommandEntry* e = list.Entry(i);
        if (e->level != 0 || shownCaption(e->caption) != path[0])
            continue;
        const CCommandEntry* at = e;
        bool found = true;
        for (qsizetype k = 1; k < path.size() && found; ++k) {
            found = false;
            for (const CCommandEntry* c = at->firstChild; c; c = c->next)
                if (shownCaption(c->caption) == path[k]) {
                    at = c;
                    found = true;
                    break;
                }
        }
        if (found)
            return true;
    }
    return false;
}
} // namespace

namespace {
// A path as written in a sentence: "(Time > Time Span)", "With Time > Bin",
// "Analysis > Run / Stop (F1)". It names a menu path when the first caption
// is a tail of its first part and the last caption a head of its last part.
bool namesMenuPath(const CCommandList& list, QStringList path) {
    if (path.first().startsWith('('))
        path.first().remove(0, 1);
    if (path.last().count('(') < path.last().count(')'))
        path.last().chop(1);
    const QStringList first = path.first().split(' ');
    const QStringList last = path.last().split(' ');
    for (qsizetype i = 0; i < first.size(); ++i) {
        for (qsizetype j = last.size(); j >= 1; --j) {
            QStringList candidate = path;
            candidate.last() = last.mid(0, j).join(' ');
            candidate.first() = first.mid(i).join(' ');
            if (hasMenuPath(list, candidate))
                return true;
        }
    }
    return false;
}

// The readable text of a page: HTML tags dropped, entities written out.
QString pageText(const QString& name, QString text) {
    if (name.endsWith(".html") || name.endsWith(".part")) {
        text.remove(QRegularExpression("<[^>]*>"));
        text.replace("&gt;", ">").replace("&lt;", "<").replace("&nbsp;", " ").replace("&amp;", "&");
    }
    return text.replace('\n', ' ');
}
} // namespace

TEST(CommandList, EveryMenuPathOfTheReadmeAndTheGuideExists) {
    ASSERT_EQ(InitializeTorvelLibDLL(TORVEL_SOURCE_RESOURCES "/Torvel.txt", 2500), 1);
    CCommandList list;
    ASSERT_TRUE(list.Build(100));
    QStringList files{TORVEL_SOURCE_RESOURCES "/../README.md"};
    const QDir docs(TORVEL_SOURCE_RESOURCES "/../docs");
    for (const QString& name : docs.entryList({"*.md"}, QDir::Files))
        files << docs.filePath(name);
    const QDir guide(docs.filePath("guide"));
    for (const QString& name : guide.entryList({"*.html", "*.part"}, QDir::Files))
        files << guide.filePath(name);
    // "File > New Window > WLAN": captions of capitalised words (and the
    // small words between them), joined by " > ".
    const QString word = R"(\(?[A-Z0-9][A-Za-z0-9%+-]*\)?)";
    const QString segment = word + "(?: (?:(?:on|of|by|at|the|after|/) )?" + word + ")*";
    const QRegularExpression pathPattern(segment + "(?: > " + segment + ")+");
    int paths = 0;
    for (const QString& name : files) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QString text = pageText(name, QString::fromUtf8(file.readAll()));
        for (auto it = pathPattern.globalMatch(text); it.hasNext();) {
            // "View > 3D Graph / View > Waterfall" names two paths.
            QStringList written{it.next().captured(0)};
            const qsizetype slash = written[0].indexOf(" / ");
            if (slash >= 0 && written[0].mid(slash).contains(" > ") &&
                !namesMenuPath(list, written[0].split(" > ")))
                written = {written[0].left(slash), written[0].mid(slash + 3)};
            for (const QString& path : written) {
                ++paths;
                EXPECT_TRUE(namesMenuPath(list, path.split(" > ")))
                    << QFileInfo(name).fileName().toStdString() << ": \"" << path.toStdString()
                    << "\" is no menu path";
            }
        }
    }
    EXPECT_GE(paths, 10);
}
