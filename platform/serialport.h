// CSerialPort: a serial port over termios. A port name beginning with "/" is a
// device path (/dev/ttyUSB0, a pseudo-terminal); "COMn" is /dev/ttyS(n-1).
// The port is opened for reading and writing, exclusively, without becoming
// the controlling terminal and without blocking, and set to 115200 baud, 8
// data bits, no parity, one stop bit, no parity checking and no hardware flow
// control, in raw mode (no line editing, echo or character translation).
// Everything else is left as the port had it.
#pragma once

#include <cstddef>
#include <string>

class CSerialPort {
public:
    // The most a receive takes at once.
    static constexpr std::size_t kMaxReceive = 255;

    CSerialPort() = default;
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // The device path of a port name; empty when the name is neither a path
    // nor "COMn" with n from 1 up.
    static std::string DevicePath(const std::string& name);

    // Opens and sets up the port (a port already open is closed first);
    // false leaves it closed.
    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Writes the whole of data; false when it could not be written (a port
    // that takes nothing within a short while, or a broken one).
    bool Send(const std::string& data);
    // Takes what the port has queued, at most kMaxReceive bytes, into *data;
    // false when nothing is queued.
    bool Receive(std::string* data);
    // Drops whatever input is queued.
    void Purge();

private:
    int m_fd = -1;
};
