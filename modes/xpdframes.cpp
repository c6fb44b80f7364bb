#include "modes/xpdframes.h"

#include <cstdio>
#include <cstring>

namespace XpdFrames {

namespace {
constexpr std::size_t kLettersAt = 3; // characters 4 to 6
constexpr std::size_t kDataAt = 6;    // characters 7 to 10
constexpr std::size_t kDataDigits = 4;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string format(const char* fmt, int station, int reg, unsigned value) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, fmt, station, reg, value);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}
} // namespace

unsigned Checksum(const std::string& text) {
    unsigned sum = 0;
    for (const char c : text) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum;
}

std::string Seal(const std::string& text) {
    char tail[8];
    std::snprintf(tail, sizeof tail, "%02X\r", Checksum(text));
    return text + tail;
}

std::string ReadDataFrame(int station, int reg) {
    return Seal(format("?%02dWDR%04d0001", station, reg, 0));
}

std::string WriteDataFrame(int station, int reg, unsigned value) {
    return Seal(format("?%02dWDW%04d0001%04X", station, reg, value));
}

std::string WriteRelayFrame(int station, int reg, unsigned value) {
    return Seal(format("?%02dWRW%04d0001%04X", station, reg, value));
}

bool ReplyMatches(const char* bytes, std::size_t size, const char* letters) {
    const std::size_t n = std::strlen(letters);
    return bytes && size >= kLettersAt + n && std::memcmp(bytes + kLettersAt, letters, n) == 0;
}

bool ParseReadReply(const char* bytes, std::size_t size, std::string* data) {
    if (!ReplyMatches(bytes, size, kReadData) || size < kDataAt + kDataDigits) {
        return false;
    }
    for (std::size_t i = kDataAt; i < kDataAt + kDataDigits; ++i) {
        if (!isHexDigit(bytes[i])) {
            return false;
        }
    }
    data->assign(bytes + kDataAt, kDataDigits);
    return true;
}

} // namespace XpdFrames
