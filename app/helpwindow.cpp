#include "helpwindow.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kInitialWidth = 960;
constexpr int kInitialHeight = 720;
// The guide's colours for a dark page, which its pages link for a dark
// colour scheme; a file far larger is not read whole.
constexpr char kDarkStyle[] = "guide-dark.css";
constexpr qint64 kMaxDarkStyle = 64 * 1024;

// Whether the palette shows text on a dark base (a dark desktop theme).
bool IsDark(const QPalette& palette) {
    return palette.color(QPalette::Base).lightness() < 128;
}

// The text browser of the guide. Under a dark palette a page takes the
// guide's colours for a dark page as the last rules of its style sheet (the
// text browser applies only the first style sheet of a page, and none that
// a page links for a colour scheme).
class CGuideBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override {
        QVariant data = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::HtmlResource || !IsDark(palette()) || !name.isLocalFile())
            return data;
        QFile dark(QFileInfo(name.toLocalFile()).dir().filePath(kDarkStyle));
        QByteArray page = data.toByteArray();
        const qsizetype end = page.indexOf("</style>");
        if (end < 0 || !dark.open(QIODevice::ReadOnly))
            return data;
        page.insert(end, dark.read(kMaxDarkStyle));
        return page;
    }

protected:
    void changeEvent(QEvent* event) override {
        QTextBrowser::changeEvent(event);
        // Another theme: the page is read again with its colours.
        if (event->type() == QEvent::PaletteChange && !source().isEmpty()) {
            const int position = verticalScrollBar()->value();
            document()->clear();
            reload();
            verticalScrollBar()->setValue(position);
        }
    }
};

QToolButton* toolButton(QWidget* parent, QStyle::StandardPixmap icon, const QKeySequence& key,
                        const char* name) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setShortcut(key);
    b->setAutoRaise(true);
    return b;
}
} // namespace

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new CGuideBrowser(this)),
      m_back(toolButton(this, QStyle::SP_ArrowBack, QKeySequence::Back, "back")),
      m_forward(toolButton(this, QStyle::SP_ArrowForward, QKeySequence::Forward, "forward")),
      m_home(toolButton(this, QStyle::SP_DirHomeIcon, QKeySequence(Qt::ALT | Qt::Key_Home),
                        "contents")) {
    setObjectName("HelpWindow");
    // Links are followed here, so that nothing leaves the guide.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addWidget(m_home);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_browser);

    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QToolButton::clicked, this, &CHelpWindow::GoHome);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpWindow::FollowLink);
    connect(m_browser, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle(m_browser->documentTitle()); });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    resize(kInitialWidth, kInitialHeight);
}

void CHelpWindow::ShowPage(const QString& path) {
    const QFileInfo page(path);
    m_contents = QUrl::fromLocalFile(page.dir().filePath("index.html"));
    if (!QFileInfo::exists(m_contents.toLocalFile()))
        m_contents = QUrl::fromLocalFile(page.absoluteFilePath());
    m_browser->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
}

void CHelpWindow::FollowLink(const QUrl& link) {
    const QUrl target = m_browser->source().resolved(link);
    if (!target.isLocalFile())
        return;
    if (target.adjusted(QUrl::RemoveFragment) ==
        m_browser->source().adjusted(QUrl::RemoveFragment)) {
        m_browser->scrollToAnchor(target.fragment());
        return;
    }
    if (QFileInfo::exists(target.toLocalFile()))
        m_browser->setSource(target);
}

void CHelpWindow::GoHome() {
    if (!m_contents.isEmpty())
        m_browser->setSource(m_contents);
}
