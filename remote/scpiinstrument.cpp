#include "scpiinstrument.h"

#include "analysis/analysiscore.h"
#include "remote/remotelink.h"

#include <algorithm>

std::vector<std::pair<int, CAnalysisCore*>> CScpiInstrument::Windows() {
    const std::vector<CAnalysisCore*> open = m_link->RemoteWindows();
    std::erase_if(m_windows, [&open](const Numbered& w) {
        return std::find(open.begin(), open.end(), w.core) == open.end() || w.core->GetId() != w.id;
    });
    for (CAnalysisCore* core : open)
        if (std::none_of(m_windows.begin(), m_windows.end(),
                         [core](const Numbered& w) { return w.core == core; }))
            m_windows.push_back({core, core->GetId(), m_nextNumber++});
    std::vector<std::pair<int, CAnalysisCore*>> out;
    out.reserve(m_windows.size());
    for (const Numbered& w : m_windows)
        out.emplace_back(w.number, w.core);
    return out;
}

int CScpiInstrument::NumberOf(CAnalysisCore* core) {
    for (const auto& [number, c] : Windows())
        if (c == core)
            return number;
    return 0;
}

CAnalysisCore* CScpiInstrument::WindowOf(int number) {
    for (const auto& [n, core] : Windows())
        if (n == number)
            return core;
    return nullptr;
}
