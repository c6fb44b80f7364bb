// The ASCII frames of the XPD window's serial controllers. A frame names the
// station (two decimal digits), the command letters, the register (four
// decimal digits) and the word count 1, and ends with a checksum: the
// exclusive-or of every character before it as two uppercase hexadecimal
// digits, then a carriage return. Everything here is a pure function over
// bytes.
#pragma once

#include <cstddef>
#include <string>

namespace XpdFrames {

// Every frame goes to this station.
constexpr int kStation = 1;
// The longest reply taken from a port in one receive.
constexpr std::size_t kMaxReply = 255;

constexpr const char* kReadData = "WDR";
constexpr const char* kWriteData = "WDW";
constexpr const char* kWriteRelay = "WRW";

// The exclusive-or of the characters of text.
unsigned Checksum(const std::string& text);
// text followed by "%02X\r" of its checksum.
std::string Seal(const std::string& text);

// "?%02dWDR%04d0001" + checksum: read one data word.
std::string ReadDataFrame(int station, int reg);
// "?%02dWDW%04d0001%04X" + checksum: write one data word.
std::string WriteDataFrame(int station, int reg, unsigned value);
// "?%02dWRW%04d0001%04X" + checksum: write one relay word.
std::string WriteRelayFrame(int station, int reg, unsigned value);

// A reply is accepted when its characters 4 to 6 (counting from 1) are the
// command letters. size may be anything; bytes need not end in a NUL.
bool ReplyMatches(const char* bytes, std::size_t size, const char* letters);
// A read reply: accepted as above and carrying four hexadecimal digits as its
// characters 7 to 10, which are returned as text in *data. Anything shorter
// or anything else there is refused and *data is left as it was.
bool ParseReadReply(const char* bytes, std::size_t size, std::string* data);

} // namespace XpdFrames
