// CAnalysisScheduler: the list of the open windows' cores, sorted by core id,
// and the id of the core whose device task runs now. The device runs one task
// at a time, so the flagged cores take turns in id order with wrap-around.
#pragma once

#include <vector>

class CAnalysisCore;

class CAnalysisScheduler {
public:
    // Inserts the core before the first listed core with a greater id.
    void Register(CAnalysisCore* core);
    void Unregister(CAnalysisCore* core);
    // The first flagged core after the current id, else the first flagged core
    // from the start; the current id becomes its id (0 when none is flagged).
    CAnalysisCore* Next();
    CAnalysisCore* Find(int id) const;

    int CurrentId() const { return m_currentId; }
    void SetCurrentId(int id) { m_currentId = id; }
    const std::vector<CAnalysisCore*>& Cores() const { return m_cores; }
    // Clears the task-running mark of every listed core.
    void ClearTaskRunningMarks();

private:
    std::vector<CAnalysisCore*> m_cores;
    int m_currentId = 0;
};
