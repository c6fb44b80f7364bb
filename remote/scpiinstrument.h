// CScpiInstrument: the instrument as every client of one server sees it: the
// numbers of its windows. A window gets the next number when the server first
// sees it (windows are seen in the order they were opened) and keeps it for
// its life; the number of a window that closed is not given again while the
// server runs, so a number a script kept never names another window.
#pragma once

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

private:
    struct Numbered {
        CAnalysisCore* core;
        int id; // the core's id: a later core at the same address is another window
        int number;
    };
    CRemoteLink* m_link;
    std::vector<Numbered> m_windows;
    int m_nextNumber = 1;
};
