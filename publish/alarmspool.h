// CAlarmSpool: the alarms that are still to be delivered to the broker, in
// the order they were raised, kept in an append-only journal so that a crash
// or a broker that is away for hours loses none of them. Each alarm is
// written (and synced) before anything tries to send it; its delivery is
// written after the broker took it. A journal read at start gives back every
// alarm not yet delivered. When more than the limit wait, the oldest are
// dropped and counted.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>

class CAlarmSpool {
public:
    struct Entry {
        std::uint64_t id = 0; // the journal's own number, rising
        QByteArray topic;
        QByteArray payload;
    };
    // A journal line is at most this long; a longer one is damage and skipped.
    static constexpr int kMaxLineBytes = 64 * 1024;
    // A journal larger than this is not read (it is renamed aside).
    static constexpr qint64 kMaxJournalBytes = 64LL * 1024 * 1024;

    explicit CAlarmSpool(int maxEntries = 10000);
    ~CAlarmSpool();
    CAlarmSpool(const CAlarmSpool&) = delete;
    CAlarmSpool& operator=(const CAlarmSpool&) = delete;

    // Opens (or creates) the journal at path and takes in what it holds;
    // false with a reason when it cannot be written. A torn or damaged line
    // (a crash in the middle of a write) is skipped.
    bool Open(const QString& path, QString* error);
    bool IsOpen() const { return m_fd >= 0; }
    // Keeps an alarm for delivery: on disk before it returns (false when the
    // write failed: the alarm is then kept in memory only).
    bool Append(const QByteArray& topic, const QByteArray& payload);
    // The oldest alarm waiting, or null.
    const Entry* Front() const { return m_pending.empty() ? nullptr : &m_pending.front(); }
    std::size_t Pending() const { return m_pending.size(); }
    // The broker took the alarm with this id (the front one).
    void Delivered(std::uint64_t id);
    // Alarms dropped because more than the limit waited, over the journal's life.
    std::uint64_t Dropped() const { return m_dropped; }

private:
    bool WriteLine(const QByteArray& line);
    // With nothing waiting, a journal grown past a size starts over (written
    // aside and renamed over it, so a crash keeps the old one).
    void CompactIfIdle();
    void TakeIn(const QByteArray& data);

    int m_maxEntries;
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_dropped = 0;
    std::deque<Entry> m_pending;
};
