// The writer process of the save tests: writes one kind of file with the
// program's own writer, as the tests tell it.
//
//   savewriter KIND PATH loop            generations 1, 2, ... without end;
//                                        "GEN MICROSECONDS" on standard output
//                                        after each one written
//   savewriter KIND PATH full BYTES GEN  generation GEN with the file size
//                                        limited to BYTES (SIGXFSZ ignored):
//                                        exit 0 when the writer reported the
//                                        failure, 3 when it claimed success
#include "savedfiles.h"

#include <QApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string kind = argv[1], path = argv[2], mode = argv[3];
    std::unique_ptr<SavedFileWriter> writer = SavedFileWriter::Make(kind);
    if (!writer)
        return 2;

    if (mode == "loop") {
        for (int gen = 1;; ++gen) {
            const auto start = std::chrono::steady_clock::now();
            if (!writer->Write(path, gen))
                return 1;
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
            std::printf("%d %lld\n", gen, static_cast<long long>(us.count()));
            std::fflush(stdout);
        }
    }
    if (mode == "full" && argc == 6) {
        const rlim_t bytes = std::strtoull(argv[4], nullptr, 10);
        const int gen = std::atoi(argv[5]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        return writer->Write(path, gen) ? 3 : 0;
    }
    return 2;
}
