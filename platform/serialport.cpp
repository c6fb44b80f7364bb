#include "platform/serialport.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
// How long a whole send may take: a frame is a few milliseconds of the line,
// so a port that has not taken it by then is stuck.
constexpr int kSendWaitMs = 50;
} // namespace

CSerialPort::~CSerialPort() {
    Close();
}

std::string CSerialPort::DevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name.size() > 8) {
        return std::string();
    }
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::string();
        }
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1) {
        return std::string();
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

bool CSerialPort::Open(const std::string& name) {
    Close();
    const std::string path = DevicePath(name);
    if (path.empty()) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Only a terminal is a serial port: a file, a pipe or any other device is
    // left before a terminal request reaches its driver.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
        ::close(fd);
        return false;
    }
    termios tio{};
    if (::ioctl(fd, TIOCEXCL) != 0 || ::tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return false;
    }
    // A serial line carries bytes only: no line editing, echo or translation.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // 8 data bits, no parity, one stop bit, no hardware flow control, and the
    // modem status lines do not gate the port.
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CSerialPort::Close() {
    if (m_fd < 0) {
        return;
    }
    // Exclusive use ends with this handle, so the port opens again later.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
}

bool CSerialPort::Send(const std::string& data) {
    if (m_fd < 0 || data.empty()) {
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendWaitMs);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        pollfd p{m_fd, POLLOUT, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0 || !(p.revents & POLLOUT)) {
            return false;
        }
    }
    return true;
}

bool CSerialPort::Receive(std::string* data) {
    if (m_fd < 0) {
        return false;
    }
    char buffer[kMaxReceive];
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return false;
    }
    data->assign(buffer, static_cast<std::size_t>(n));
    return true;
}

void CSerialPort::Purge() {
    if (m_fd >= 0) {
        ::tcflush(m_fd, TCIFLUSH);
    }
}
