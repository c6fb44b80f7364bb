// Every kind of file the program saves, written with the program's own writer
// and read back with its own reader. A kind's content is a numbered
// generation: each line, key or pixel that is written carries the number, so
// a reader tells a complete file of one generation from a torn or mixed one.
// Shared by the save tests and by the writer process that they kill.
#pragma once

#include <memory>
#include <string>
#include <vector>

class SavedFileWriter {
public:
    // The kinds: "setting", "csv", "bmp", "png", "channels", "textlog", "profile".
    static const std::vector<std::string>& Kinds();
    // A writer of one kind; null for an unknown kind.
    static std::unique_ptr<SavedFileWriter> Make(const std::string& kind);
    // The generation of the file at path if it is a complete file of the kind,
    // read with the program's reader; -1 when it is not.
    static int ReadGeneration(const std::string& kind, const std::string& path);

    virtual ~SavedFileWriter() = default;
    // Writes generation gen (>= 1) to path; true when the writer reported success.
    virtual bool Write(const std::string& path, int gen) = 0;
};
