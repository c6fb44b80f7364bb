// An emulated serial controller on the master side of a pseudo-terminal: the
// program under test opens the slave path as its serial port. A thread of the
// test answers every frame it receives like a station-1 controller, keeps the
// register words, and records the frames in the order they came.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyController {
public:
    enum class Mode {
        Answer,   // correct replies
        Silent,   // takes frames, never answers
        Garbage,  // answers with bytes that are no reply
        Partial,  // answers with the first four characters of a reply only
        Overlong, // answers with a right reply followed by far too many bytes
    };

    explicit PtyController(Mode mode = Mode::Answer);
    ~PtyController();
    PtyController(const PtyController&) = delete;
    PtyController& operator=(const PtyController&) = delete;

    // The slave device path to give the program as its port name.
    const std::string& Path() const { return m_path; }
    void SetMode(Mode mode) { m_mode.store(mode); }
    // The controller goes away: the master side is closed and the path gone.
    void Disappear();

    // Register words (data "D", relay "R"); a word never written reads
    // 0xFFFFFFFF here and 0 through the port.
    void SetRegister(char kind, int reg, unsigned value);
    unsigned Register(char kind, int reg);
    // Frames received so far, without their checksum and carriage return.
    std::vector<std::string> Frames();
    // How many frames were received whose text starts with prefix.
    int Count(const std::string& prefix);
    // Frames received with a wrong checksum.
    int BadFrames() const { return m_bad.load(); }
    // A loaded machine can hold a pseudo-terminal's bytes up for seconds, so a
    // frame the program wrote may be recorded long after the write. Sync()
    // writes a mark on the program's side, behind everything written there so
    // far; once Synced() is true all of that has been taken. The mark is
    // neither recorded nor answered.
    void Sync();
    bool Synced() const { return m_marksTaken.load() >= m_marksSent.load(); }
    // Sync(), then the event loop runs until Synced(): Frames() and Count()
    // then hold every frame written before (up to a minute; a failure of the
    // test beyond it).
    void TakeAll();

private:
    void Serve();
    void Handle(const std::string& frame);
    void Reply(const std::string& text);

    int m_master = -1;
    // Keeps the slave side alive while the program's port is closed, and the
    // terminal's number taken until the controller is destroyed.
    int m_slaveKeep = -1;
    std::string m_path;
    std::atomic<Mode> m_mode;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_bad{0};
    std::atomic<int> m_marksSent{0};
    std::atomic<int> m_marksTaken{0};
    std::mutex m_mutex;
    std::map<std::string, unsigned> m_registers;
    std::vector<std::string> m_frames;
    std::thread m_thread;
};
