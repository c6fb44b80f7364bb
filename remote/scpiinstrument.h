// CScpiInstrument: the instrument as every client of one server sees it: the
// numbers of its windows, the folder its file commands work in and the access
// code it asks for.
//
// A window gets the next number when the server first sees it (windows are
// seen in the order they were opened) and keeps it for its life; the number of
// a window that closed is not given again while the server runs, so a number a
// script kept never names another window.
//
// The access code is kept only as a salted SHA-256 digest ("sha256:<salt>:
// <digest>" in hex), so the profile does not give it away. After a wrong code
// the next try, of any client, waits a second, so codes cannot be tried fast.
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class CAnalysisCore;
class CRemoteLink;

class CScpiInstrument {
public:
    explicit CScpiInstrument(CRemoteLink* link) : m_link(link) {}

    CRemoteLink* Link() const { return m_link; }
    // The open windows with their numbers, in the order they were opened.
    std::vector<std::pair<int, CAnalysisCore*>> Windows();
    // The number of an open window; 0 for none.
    int NumberOf(CAnalysisCore* core);
    // The open window of a number; null for none.
    CAnalysisCore* WindowOf(int number);

    // The folder the file commands read and write in.
    void SetFileFolder(const QString& folder) { m_fileFolder = folder; }
    const QString& FileFolder() const { return m_fileFolder; }

    // The stored form of an access code (a fresh salt each time).
    static QByteArray StoredAccessCode(const QString& code);
    // The access code in its stored form; empty: none. Setting it (even to
    // the same code) asks every client for it again.
    void SetAccessCode(const QByteArray& stored);
    const QByteArray& AccessCode() const { return m_accessCode; }
    bool HasAccessCode() const { return !m_accessCode.isEmpty(); }
    // Which setting of the code a client's code was right for.
    int AccessCodeGeneration() const { return m_codeGeneration; }
    // True while a try must wait (a wrong one was made less than a second ago).
    bool AccessCodeTriesHeld() const;
    // Checks a client's code; a wrong one holds the next try.
    bool AccessCodeMatches(std::string_view code);

private:
    struct Numbered {
        CAnalysisCore* core;
        int id; // the core's id: a later core at the same address is another window
        int number;
    };
    CRemoteLink* m_link;
    std::vector<Numbered> m_windows;
    int m_nextNumber = 1;
    QString m_fileFolder;
    QByteArray m_accessCode;
    int m_codeGeneration = 0;
    std::optional<std::chrono::steady_clock::time_point> m_wrongCodeAt;
};
