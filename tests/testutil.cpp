#include "testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <fstream>
#include <sstream>

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/torvel-test-XXXXXX");
    dir.setAutoRemove(false);
    m_path = dir.path().toStdString();
}

TempDir::~TempDir() {
    QDir(QString::fromStdString(m_path)).removeRecursively();
}

int SanitizerSlowdown() {
#if defined(__SANITIZE_THREAD__)
    return 10;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return 10;
#elif __has_feature(address_sanitizer)
    return 3;
#else
    return 1;
#endif
#elif defined(__SANITIZE_ADDRESS__)
    return 3;
#else
    return 1;
#endif
}

std::chrono::milliseconds ScaledBound(std::chrono::milliseconds bound) {
    return bound * SanitizerSlowdown();
}

bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    const std::chrono::milliseconds bound = ScaledBound(timeout);
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > bound.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void PumpEvents() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}
