// Reads a scene file (INI text) into a CSimScene. The file is treated as
// hostile: its size, line length, section count and every value are bounded,
// and any fault gives a failure with a message naming the line, never a crash.
#pragma once

#include "simscene.h"

#include <string>
#include <string_view>

namespace torvelsim {

class CSceneReader {
public:
    static constexpr std::size_t kMaxFileBytes = 64 * 1024;
    static constexpr std::size_t kMaxLineBytes = 512;
    static constexpr std::size_t kMaxSignals = 64;
    static constexpr std::size_t kMaxListEntries = 16;

    // Reads a regular file. On failure the scene is unchanged and Error() tells
    // what was wrong.
    bool ReadFile(const std::string& path, CSimScene& scene);
    // Reads scene text (the file's contents).
    bool ReadText(std::string_view text, CSimScene& scene);

    const std::string& Error() const { return m_error; }

private:
    bool Fail(std::size_t line, const std::string& message);

    std::string m_error;
};

} // namespace torvelsim
