// CAnalysisScheduler: the list of the open windows' cores, sorted by core id,
// and the id of the core whose device task runs now. The device runs one task
// at a time, so the flagged cores take turns in id order with wrap-around.
#pragma once

#include "platform/wintypes.h"

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

    // The device task of the current core: none, running (started by the
    // rotation, or again by its core), or ended by its core, which may start
    // it again while it still holds the device.
    enum class Task { kNone, kRunning, kEnded };
    Task GetTask() const { return m_task; }
    void SetTask(Task task) { m_task = task; }
    // A terminated task may have posted messages before it stopped: each
    // terminate is followed by a fence message, and until the last fence is
    // in, every device message belongs to an ended task.
    void AddFence() { ++m_fences; }
    // The fence is in; true when it was the last one.
    bool RemoveFence() { return m_fences > 0 && --m_fences == 0; }
    // Whether a device message with this task tag (wParam) comes from the
    // running task: the current core's, and no terminate since it started.
    bool IsRunningTask(WPARAM tag) const;

private:
    std::vector<CAnalysisCore*> m_cores;
    int m_currentId = 0;
    Task m_task = Task::kNone;
    int m_fences = 0;
};
