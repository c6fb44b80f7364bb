// The user guide as the program finds and shows it: the search for a page,
// the built guide read page by page in the help window (every picture loads,
// every link leads to a page), and moving through it.
#include "app/datafiles.h"
#include "app/helpwindow.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPalette>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sys/stat.h>

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The names of the pictures and the targets of the links of the page shown.
void pageParts(QTextDocument* doc, QStringList* pictures, QStringList* links) {
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat())
                *pictures << f.toImageFormat().name();
            else if (f.isAnchor() && !f.anchorHref().isEmpty())
                *links << f.anchorHref();
        }
}
} // namespace

TEST(Guide, APageIsLookedForInEveryFolderBeforeTheContentsPage) {
    TempDir dir;
    const std::string help = dir.file("Help"), installed = dir.file("guide");
    ASSERT_EQ(mkdir(help.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(installed.c_str(), 0700), 0);
    WriteWholeFile(help + "/index.html", "<title>local</title>");
    WriteWholeFile(installed + "/index.html", "<title>installed</title>");
    WriteWholeFile(installed + "/normal.html", "<title>normal</title>");
    const QStringList folders = {q(help), q(installed)};
    EXPECT_EQ(FindGuidePage(folders, "normal.html", "index.html"), q(installed + "/normal.html"));
    EXPECT_EQ(FindGuidePage(folders, "", "index.html"), q(help + "/index.html"));
    EXPECT_EQ(FindGuidePage(folders, "wlan.html", "index.html"), q(help + "/index.html"));
    // Names from the string table stay inside the guide's folders.
    EXPECT_EQ(FindGuidePage(folders, "../guide/normal.html", "nothing.html"), QString());
    EXPECT_EQ(FindGuidePage({q(dir.file("none"))}, "normal.html", "index.html"), QString());
}

TEST(Guide, EveryPageOfTheBuiltGuideShowsItsPicturesAndLinksToPagesOfTheGuide) {
    const QDir guide(TORVEL_GUIDE_DIR);
    const QStringList pages = guide.entryList({"*.html"}, QDir::Files, QDir::Name);
    for (const char* kind :
         {"index", "normal", "wlan", "zerospan", "semireal", "realtime", "medical", "xpd"})
        EXPECT_TRUE(pages.contains(QString(kind) + ".html")) << kind;

    CHelpWindow window;
    std::set<QString> shownPictures;
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        window.ShowPage(guide.filePath(page));
        EXPECT_TRUE(window.windowTitle().contains("Torvel")) << window.windowTitle().toStdString();
        QStringList pictures, links;
        pageParts(window.Browser()->document(), &pictures, &links);
        for (const QString& picture : pictures) {
            const QVariant data =
                window.Browser()->loadResource(QTextDocument::ImageResource, QUrl(picture));
            EXPECT_FALSE(QImage::fromData(data.toByteArray()).isNull()) << picture.toStdString();
            shownPictures.insert(QFileInfo(picture).fileName());
        }
        // The command lists were filled in: a page of a window kind lists its
        // menus and its ten-button pages.
        const QString html = window.Browser()->toHtml();
        EXPECT_FALSE(html.contains("<!--")) << "a list was not filled in";
        for (const QString& link : links) {
            SCOPED_TRACE(link.toStdString());
            ASSERT_FALSE(link.contains(':')) << "the guide links only to itself";
            window.FollowLink(QUrl(link));
            EXPECT_TRUE(QFileInfo::exists(window.Browser()->source().toLocalFile()));
            EXPECT_EQ(window.Browser()->source().fileName(),
                      QUrl(link).fileName().isEmpty() ? page : QUrl(link).fileName());
            window.ShowPage(guide.filePath(page));
        }
    }
    // The README's screenshots are all in the guide.
    for (const QString& shot :
         QDir(TORVEL_DOCS_DIR "/screenshots").entryList({"*.png"}, QDir::Files))
        EXPECT_TRUE(shownPictures.count(shot)) << shot.toStdString();
}

namespace {
// WCAG's relative luminance and contrast ratio.
double Luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// A light theme and a dark one (the bases of Adwaita and Adwaita-Dark).
QPalette Theme(bool dark) {
    QPalette p;
    p.setColor(QPalette::Base, dark ? QColor("#2d2d2d") : QColor("#ffffff"));
    p.setColor(QPalette::Text, dark ? QColor("#ffffff") : QColor("#000000"));
    p.setColor(QPalette::Window, dark ? QColor("#353535") : QColor("#f6f5f4"));
    p.setColor(QPalette::WindowText, p.color(QPalette::Text));
    return p;
}
} // namespace

// Every text of every page of the guide stands out from what lies behind it
// by at least 4.5 : 1 under a light and a dark theme, also when the theme
// changes while a page is shown.
TEST(Guide, EveryTextKeepsItsContrastUnderALightAndADarkTheme) {
    const QDir guide(TORVEL_GUIDE_DIR);
    const QStringList pages = guide.entryList({"*.html"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(pages.isEmpty());
    for (const bool switched : {false, true}) {
        for (const bool dark : {false, true}) {
            CHelpWindow window;
            window.setPalette(Theme(switched ? !dark : dark));
            for (const QString& page : pages) {
                SCOPED_TRACE(page.toStdString() + (dark ? " dark" : " light") +
                             (switched ? ", switched" : ""));
                window.ShowPage(guide.filePath(page));
                if (switched)
                    window.setPalette(Theme(dark));
                const QPalette palette = window.Browser()->palette();
                int texts = 0;
                QTextDocument* doc = window.Browser()->document();
                for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
                    const QBrush blockBack = b.blockFormat().background();
                    for (auto it = b.begin(); !it.atEnd(); ++it) {
                        const QTextFragment f = it.fragment();
                        if (f.text().trimmed().isEmpty() || f.charFormat().isImageFormat())
                            continue;
                        const QTextCharFormat c = f.charFormat();
                        QColor fore =
                            c.foreground().style() != Qt::NoBrush
                                ? c.foreground().color()
                                : palette.color(c.isAnchor() ? QPalette::Link : QPalette::Text);
                        QColor back = c.background().style() != Qt::NoBrush ? c.background().color()
                                      : blockBack.style() != Qt::NoBrush
                                          ? blockBack.color()
                                          : palette.color(QPalette::Base);
                        ++texts;
                        EXPECT_GE(Contrast(fore, back), 4.5)
                            << "\"" << f.text().left(40).toStdString() << "\" in "
                            << fore.name().toStdString() << " on " << back.name().toStdString();
                    }
                }
                EXPECT_GT(texts, 5);
            }
        }
    }
}

TEST(Guide, TheWindowGoesBackForwardAndHomeAndStaysInsideTheGuide) {
    TempDir dir;
    WriteWholeFile(dir.file("index.html"), "<title>Contents</title><a href=\"b.html#end\">b</a>"
                                           "<a href=\"https://example.org/\">out</a>");
    WriteWholeFile(dir.file("b.html"), "<title>Page B</title><p>B</p><a name=\"end\"></a>");
    CHelpWindow window;
    window.ShowPage(q(dir.file("b.html")));
    EXPECT_EQ(window.windowTitle(), "Page B");
    EXPECT_FALSE(window.BackButton()->isEnabled());
    window.GoHome();
    EXPECT_EQ(window.windowTitle(), "Contents");
    EXPECT_TRUE(window.BackButton()->isEnabled());

    // A link out of the guide is not followed; a missing page neither.
    window.FollowLink(QUrl("https://example.org/"));
    window.FollowLink(QUrl("missing.html"));
    EXPECT_EQ(window.Browser()->source().fileName(), "index.html");
    window.FollowLink(QUrl("b.html#end"));
    EXPECT_EQ(window.windowTitle(), "Page B");
    window.BackButton()->click();
    EXPECT_EQ(window.windowTitle(), "Contents");
    ASSERT_TRUE(window.ForwardButton()->isEnabled());
    window.ForwardButton()->click();
    EXPECT_EQ(window.windowTitle(), "Page B");
}
