#include "support/OSXUtil.h"

#include "base/UniqueFd.h"
#include "support/Platform.h"

#include <algorithm>
#include <bzlib.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Decompresses every stream of the file (as the command-line tool does with concatenated
// streams); bytes after the last stream that do not begin a new stream are ignored.
bool decompress(int in, int out) {
    std::vector<char> input(1 << 16), output(1 << 16);
    char* next = input.data();
    size_t avail = 0;
    bool eof = false;
    auto fill = [&] {
        while (avail == 0 && !eof) {
            ssize_t n = ::read(in, input.data(), input.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            eof = n == 0;
            next = input.data();
            avail = size_t(n);
        }
        return true;
    };
    bool sawStream = false;
    for (;;) {
        if (!fill())
            return false;
        if (avail == 0)
            return sawStream;
        static const char magic[] = "BZh";
        if (sawStream && std::memcmp(next, magic, std::min<size_t>(avail, 3)) != 0)
            return true;
        bz_stream stream{};
        if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
            return false;
        struct End {
            bz_stream* s;
            ~End() { BZ2_bzDecompressEnd(s); }
        } end{&stream};
        for (;;) {
            if (!fill())
                return false;
            stream.next_in = next;
            stream.avail_in = unsigned(avail);
            stream.next_out = output.data();
            stream.avail_out = unsigned(output.size());
            int rc = BZ2_bzDecompress(&stream);
            size_t consumed = avail - stream.avail_in;
            next += consumed;
            avail -= consumed;
            size_t produced = output.size() - stream.avail_out;
            if (produced && !support::writeAll(out, output.data(), produced))
                return false;
            if (rc == BZ_STREAM_END)
                break;
            if (rc != BZ_OK)
                return false;
            if (produced == 0 && consumed == 0)
                return false; // truncated: no input left and nothing more to give
        }
        sawStream = true;
    }
}

} // namespace

bool OSXUtil::bUnZip(const std::string& path) {
    // The output is the path without its last extension; a name without one would overwrite
    // the input itself.
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (path.empty() || dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return false;
    std::string target = path.substr(0, dot);
    UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::string pattern = target + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out)
        return false;
    bool ok = decompress(in.get(), out.get()) && ::fchmod(out.get(), info.st_mode & 0777) == 0 &&
              ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (ok && ::rename(temporary.data(), target.c_str()) == 0)
        return true;
    ::unlink(temporary.data());
    return false;
}
