#include "fuzzinput.h"

#include "lib/channellist.h"
#include "lib/stringtable.h"
#include "platform/profile.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzzinput {

namespace {

// Removes the folder when the process ends normally.
struct FolderOwner {
    std::string path;
    ~FolderOwner() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

FolderOwner& Owner() {
    static FolderOwner owner = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "torvel-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            std::perror("torvel fuzz: mkdtemp");
            std::abort();
        }
        return FolderOwner{tmpl};
    }();
    return owner;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror("torvel fuzz: writing the input file");
        std::abort();
    }
}

} // namespace

const std::string& Folder() {
    return Owner().path;
}

std::string PathOf(const char* name) {
    return Folder() + "/" + name;
}

const char* Write(const std::uint8_t* data, std::size_t size) {
    static const std::string path = PathOf("input");
    WriteFile(path, data, size);
    return path.c_str();
}

const char* WriteInMemory(const std::uint8_t* data, std::size_t size) {
    static const int fd = [] {
        const int made = memfd_create("torvel-fuzz-input", MFD_CLOEXEC);
        if (made < 0) {
            std::perror("torvel fuzz: memfd_create");
            std::abort();
        }
        return made;
    }();
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // Written over the previous input, then cut to this one's size.
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) {
            std::perror("torvel fuzz: writing the input");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        std::perror("torvel fuzz: cutting the input");
        std::abort();
    }
    return path.c_str();
}

std::string WriteAs(const char* name, const std::uint8_t* data, std::size_t size) {
    std::string path = PathOf(name);
    WriteFile(path, data, size);
    return path;
}

void StartApplication() {
    // Kept to the end of the process: Qt is not taken down during static
    // destruction.
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "torvel-fuzz";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

void StartLibrary() {
    static const bool started = [] {
        Folder();
        // An empty profile path: values are kept in memory only.
        SetProfileFile("");
        const std::string resources = TORVEL_SOURCE_RESOURCES;
        if (!InitializeTorvelLibDLL((resources + "/Torvel.txt").c_str(), 2500) ||
            !LoadChannelList((resources + "/TorvelList.txt").c_str())) {
            std::fprintf(stderr, "torvel fuzz: the resources in %s cannot be read\n",
                         resources.c_str());
            std::abort();
        }
        return true;
    }();
    (void)started;
}

} // namespace fuzzinput
