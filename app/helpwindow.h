// CHelpWindow: the user guide in a window of its own. The guide's HTML pages
// and their pictures are read from disk and shown by a text browser, offline
// and without a web browser; Back, Forward and Contents move through them.
// Under a dark palette the pages take the guide's colours for a dark page.
#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows the page at path, an HTML file of the guide; the guide's contents
    // page is index.html beside it.
    void ShowPage(const QString& path);
    // Follows a link as a click on it would: pages of the guide (and places
    // in them) are shown, links out of the guide are not followed.
    void FollowLink(const QUrl& link);
    void GoHome();

    QTextBrowser* Browser() const { return m_browser; }
    QToolButton* BackButton() const { return m_back; }
    QToolButton* ForwardButton() const { return m_forward; }

private:
    QTextBrowser* m_browser;
    QToolButton* m_back;
    QToolButton* m_forward;
    QToolButton* m_home;
    QUrl m_contents;
};
