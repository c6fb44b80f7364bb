// CAlarmSpool: the journal. One line per event, fields split by tabs:
//   A <id> <topic> <payload>   an alarm to deliver (the payload is one line of JSON)
//   D <id>                     the broker took alarm <id>
//   X <id>                     alarm <id> was dropped (too many waited)
//   N <count> <next id>        a journal started over: count alarms dropped
//                              before it, ids go on from <next id>
// Lines are appended and synced; a line cut short by a crash is removed when
// the journal is opened again.
#include "publish/alarmspool.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A journal with nothing waiting starts over once it is this large.
constexpr qint64 kCompactBytes = 256 * 1024;

QByteArray IdText(std::uint64_t id) {
    return QByteArray::number(static_cast<qulonglong>(id));
}

bool ParseId(const QByteArray& text, std::uint64_t* id) {
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok);
    if (!ok || v == 0)
        return false;
    *id = v;
    return true;
}

bool WriteAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}
} // namespace

CAlarmSpool::CAlarmSpool(int maxEntries) : m_maxEntries(std::max(maxEntries, 1)) {}

CAlarmSpool::~CAlarmSpool() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CAlarmSpool::Open(const QString& path, QString* error) {
    m_path = path;
    const QByteArray name = QFile::encodeName(path);
    QFileInfo info(path);
    if (info.exists() && (!info.isFile() || info.size() > kMaxJournalBytes)) {
        // Not a journal this program wrote: kept aside, never read.
        QFile::rename(path, path + ".damaged");
    }
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    QByteArray data;
    data.resize(static_cast<qsizetype>(std::min<qint64>(st.st_size, kMaxJournalBytes)));
    qint64 got = 0;
    while (got < data.size()) {
        const ssize_t n = ::pread(m_fd, data.data() + got, static_cast<size_t>(data.size() - got),
                                  static_cast<off_t>(got));
        if (n <= 0)
            break;
        got += n;
    }
    data.truncate(static_cast<qsizetype>(got));
    // A last line without its end was cut by a crash: it is not an event.
    const qsizetype end = data.lastIndexOf('\n') + 1;
    if (end != data.size()) {
        data.truncate(end);
        if (::ftruncate(m_fd, static_cast<off_t>(end)) != 0 && error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
    }
    m_size = end;
    TakeIn(data);
    CompactIfIdle();
    return true;
}

void CAlarmSpool::TakeIn(const QByteArray& data) {
    qsizetype at = 0;
    while (at < data.size()) {
        qsizetype eol = data.indexOf('\n', at);
        if (eol < 0)
            eol = data.size();
        const QByteArray line = data.mid(at, eol - at);
        at = eol + 1;
        if (line.size() > kMaxLineBytes || line.size() < 3 || line[1] != '\t')
            continue;
        const char kind = line[0];
        const qsizetype idEnd = line.indexOf('\t', 2);
        std::uint64_t id = 0;
        if (!ParseId(line.mid(2, (idEnd < 0 ? line.size() : idEnd) - 2), &id))
            continue;
        m_nextId = std::max(m_nextId, id + 1);
        if (kind == 'A' && idEnd > 0) {
            const qsizetype topicEnd = line.indexOf('\t', idEnd + 1);
            if (topicEnd <= idEnd + 1)
                continue;
            m_pending.push_back(
                Entry{id, line.mid(idEnd + 1, topicEnd - idEnd - 1), line.mid(topicEnd + 1)});
        } else if (kind == 'N' && idEnd > 0) {
            // The count may be 0; the next id is what ParseId read.
            std::uint64_t next = 0;
            if (ParseId(line.mid(idEnd + 1), &next))
                m_nextId = std::max(m_nextId, next);
            m_dropped += id - 1;
        } else if (kind == 'D' || kind == 'X') {
            const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                         [id](const Entry& e) { return e.id == id; });
            if (it != m_pending.end())
                m_pending.erase(it);
            if (kind == 'X')
                ++m_dropped;
        }
    }
    // A journal of another limit: the oldest beyond this one's are dropped.
    while (m_pending.size() > static_cast<std::size_t>(m_maxEntries)) {
        m_pending.pop_front();
        ++m_dropped;
    }
}

bool CAlarmSpool::WriteLine(const QByteArray& line) {
    if (m_fd < 0)
        return false;
    QByteArray out = line;
    out += '\n';
    if (!WriteAll(m_fd, out.constData(), out.size())) {
        // A part written is cut off again, so that the next line starts clean.
        if (::ftruncate(m_fd, static_cast<off_t>(m_size)) != 0)
            m_size = ::lseek(m_fd, 0, SEEK_END);
        return false;
    }
    m_size += out.size();
    return ::fdatasync(m_fd) == 0;
}

bool CAlarmSpool::Append(const QByteArray& topic, const QByteArray& payload) {
    Entry entry{m_nextId++, topic, payload};
    // Neither may break a journal line.
    entry.topic.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
    entry.payload.replace('\n', ' ').replace('\r', ' ');
    const bool written =
        WriteLine("A\t" + IdText(entry.id) + '\t' + entry.topic + '\t' + entry.payload);
    m_pending.push_back(std::move(entry));
    while (m_pending.size() > static_cast<std::size_t>(m_maxEntries)) {
        WriteLine("X\t" + IdText(m_pending.front().id));
        m_pending.pop_front();
        ++m_dropped;
    }
    return written;
}

void CAlarmSpool::Delivered(std::uint64_t id) {
    const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                 [id](const Entry& e) { return e.id == id; });
    if (it == m_pending.end())
        return;
    m_pending.erase(it);
    WriteLine("D\t" + IdText(id));
    CompactIfIdle();
}

void CAlarmSpool::CompactIfIdle() {
    if (m_fd < 0 || !m_pending.empty() || m_size < kCompactBytes)
        return;
    // All an empty journal has to keep: the count of dropped alarms (plus 1,
    // an id is never 0) and where the ids go on, so that a line of the old
    // journal never names an alarm of the new one.
    const QByteArray kept = "N\t" + IdText(m_dropped + 1) + '\t' + IdText(m_nextId) + '\n';
    const QByteArray tmpName = QFile::encodeName(m_path + ".new");
    const int fd = ::open(tmpName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool ok = WriteAll(fd, kept.constData(), kept.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(tmpName.constData(), QFile::encodeName(m_path).constData()) != 0) {
        ::unlink(tmpName.constData());
        return;
    }
    const int journal =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    // The old descriptor writes to a file no longer in the folder: without a
    // new one the alarms are kept in memory only.
    ::close(m_fd);
    m_fd = journal;
    m_size = kept.size();
}
