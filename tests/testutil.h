// Helpers shared by the tests: temporary folders and event-loop pumping.
#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <string>

// A fresh temporary folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// How many times longer the program runs in this build than in an ordinary
// one: an instrumented build (ThreadSanitizer above all) runs several times
// slower, and slower still on a loaded machine.
int SanitizerSlowdown();
// A bound on waiting for something that will happen, scaled for this build.
std::chrono::milliseconds ScaledBound(std::chrono::milliseconds bound);

// Runs the event loop until cond() is true or the timeout (scaled by
// ScaledBound) passes; returns cond().
bool PumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the event loop until it has nothing left to do right now.
void PumpEvents();

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& data);
