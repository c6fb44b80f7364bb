// What every fuzz target shares: the one file per process through which an
// input reaches a reader that takes a path (rewritten for every input, never
// a new file per input), the folder it lies in, and the program's own
// start-up pieces that the readers rely on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzinput {

// The folder of this process's files, made on first use and removed at exit.
const std::string& Folder();
// A path in that folder.
std::string PathOf(const char* name);
// Writes the input to the process's input file (replacing its contents) and
// returns the file's path.
const char* Write(const std::uint8_t* data, std::size_t size);
// The same into a file that lives only in memory (no file system work per
// input); its path opens like any file's.
const char* WriteInMemory(const std::uint8_t* data, std::size_t size);
// The same for a file of another name in the folder.
std::string WriteAs(const char* name, const std::uint8_t* data, std::size_t size);

// The Qt application the windows' readers need (offscreen), made once.
void StartApplication();
// The string table and channel list of the program's resources, and a
// profile that is never written to disk, as at the program's start.
void StartLibrary();

} // namespace fuzzinput
