#include "scheduler.h"

#include "analysis/analysiscore.h"

#include <algorithm>

void CAnalysisScheduler::Register(CAnalysisCore* core) {
    auto at = std::find_if(m_cores.begin(), m_cores.end(),
                           [core](CAnalysisCore* c) { return c->GetId() > core->GetId(); });
    m_cores.insert(at, core);
}

void CAnalysisScheduler::Unregister(CAnalysisCore* core) {
    m_cores.erase(std::remove(m_cores.begin(), m_cores.end(), core), m_cores.end());
}

CAnalysisCore* CAnalysisScheduler::Find(int id) const {
    for (CAnalysisCore* c : m_cores)
        if (c->GetId() == id)
            return c;
    return nullptr;
}

CAnalysisCore* CAnalysisScheduler::Next() {
    auto flagged = [](CAnalysisCore* c) { return c->GetAnalyzeFlag() != 0; };
    auto current = std::find_if(m_cores.begin(), m_cores.end(),
                                [this](CAnalysisCore* c) { return c->GetId() == m_currentId; });
    auto next = m_cores.end();
    if (current != m_cores.end())
        next = std::find_if(current + 1, m_cores.end(), flagged);
    if (next == m_cores.end())
        next = std::find_if(m_cores.begin(), m_cores.end(), flagged);
    CAnalysisCore* core = next == m_cores.end() ? nullptr : *next;
    m_currentId = core ? core->GetId() : 0;
    return core;
}

void CAnalysisScheduler::ClearTaskRunningMarks() {
    for (CAnalysisCore* c : m_cores)
        c->SetTaskRunning(0);
}

bool CAnalysisScheduler::IsRunningTask(WPARAM tag) const {
    // The tag is the low byte of the id of the core that started the task.
    return m_task == Task::kRunning && m_fences == 0 && m_currentId != 0 &&
           (tag & 0xFF) == static_cast<WPARAM>(m_currentId & 0xFF);
}
