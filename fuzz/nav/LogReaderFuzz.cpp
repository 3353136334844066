// Any file played or read as a log: the streaming reader must give the whole-file reader's lines,
// at small block and line sizes that put every boundary somewhere inside the input.

#include "nav/NMEALogReader.h"
#include "nav/NMEASimulator.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first two bytes pick the block and the longest line held; the rest is the file.
    const size_t block = 1 + data[0] % 32, held = data[1] % 48;
    const int fd = ::memfd_create("log", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (::write(fd, data + 2, size - 2) != static_cast<ssize_t>(size - 2)) {
        ::close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const auto whole = NMEASimulator::fromFile(path);
    NMEALogReader reader(block, held);
    if (!whole || !reader.open(path) || !reader.prepare())
        std::abort();
    std::vector<std::string> lines;
    while (auto piece = reader.next()) {
        std::string text = piece->text;
        if (!piece->held) {
            text.resize(piece->length);
            if (reader.readAt(piece->offset, text.data(), text.size()) != text.size())
                std::abort();
        }
        lines.push_back(std::move(text));
    }
    while (reader.countMore()) {
    }
    if (reader.failed() || lines != *whole || reader.total() != whole->size())
        std::abort();
    ::close(fd);
    return 0;
}
