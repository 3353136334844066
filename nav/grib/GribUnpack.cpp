#include "nav/grib/GribUnpack.h"

#include "base/UniqueFd.h"
#include "support/Platform.h"

#include <bzlib.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The temporary file, removed unless it was given its final name.
struct Partial {
    std::string path;
    bool kept = false;
    ~Partial() {
        if (!path.empty() && !kept)
            ::unlink(path.c_str());
    }
};

// Decompresses every bzip2 stream of in into out, at most maxBytes; "" or why not.
std::string decompress(int in, int out, uint64_t maxBytes) {
    std::vector<char> input(1 << 16), output(1 << 18);
    bz_stream z{};
    bool open = false;
    uint64_t written = 0;
    auto finish = [&](std::string why) {
        if (open)
            BZ2_bzDecompressEnd(&z);
        return why;
    };
    bool seenStream = false;
    for (;;) {
        if (z.avail_in == 0) {
            const ssize_t n = ::read(in, input.data(), input.size());
            if (n < 0)
                return finish(std::string("cannot read it: ") + std::strerror(errno));
            if (n == 0)
                return finish(open ? "it ends inside its bzip2 data" : seenStream ? "" : "it is empty");
            z.next_in = input.data();
            z.avail_in = unsigned(n);
        }
        if (!open) {
            if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK)
                return finish("out of memory");
            open = true;
        }
        z.next_out = output.data();
        z.avail_out = unsigned(output.size());
        const int status = BZ2_bzDecompress(&z);
        if (status != BZ_OK && status != BZ_STREAM_END)
            return finish(seenStream ? "damaged bzip2 data" : "not bzip2 data, or damaged");
        const size_t produced = output.size() - z.avail_out;
        written += produced;
        if (written > maxBytes)
            return finish("it unpacks to more than " + std::to_string(maxBytes >> 20) +
                          " MiB, more than any forecast file");
        if (!support::writeAll(out, output.data(), produced))
            return finish(std::string("cannot write beside it: ") + std::strerror(errno));
        if (status == BZ_STREAM_END) { // another stream may follow
            BZ2_bzDecompressEnd(&z);
            open = false;
            seenStream = true;
        }
    }
}

bool sameTime(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool sameBytes(const std::string& a, const std::string& b) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> fa(std::fopen(a.c_str(), "rb"), &std::fclose),
        fb(std::fopen(b.c_str(), "rb"), &std::fclose);
    if (!fa || !fb)
        return false;
    std::vector<char> x(1 << 16), y(1 << 16);
    for (;;) {
        const size_t n = std::fread(x.data(), 1, x.size(), fa.get());
        const size_t m = std::fread(y.data(), 1, y.size(), fb.get());
        if (n != m || std::memcmp(x.data(), y.data(), n) != 0)
            return false;
        if (n == 0)
            return true;
    }
}

} // namespace

bool isBzip2Path(const std::string& path) {
    return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".bz2") == 0;
}

GribUnpacked unpackGribBz2(const std::string& path, uint64_t maxBytes) {
    GribUnpacked result;
    result.path = path.substr(0, path.size() - 4);
    auto fail = [&](std::string why) {
        result.error = "cannot unpack \"" + path + "\": " + why;
        return result;
    };
    if (!isBzip2Path(path) || result.path.empty() || result.path.back() == '/')
        return fail("its name does not end in a file name and .bz2");
    const UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat input {};
    if (!in || ::fstat(in.get(), &input) != 0)
        return fail(std::strerror(errno));
    if (!S_ISREG(input.st_mode))
        return fail("not a file");
    Partial partial{result.path + ".partial-XXXXXX"};
    const UniqueFd out(::mkstemp(partial.path.data()));
    if (!out) {
        partial.path.clear();
        return fail(std::string("cannot write beside it: ") + std::strerror(errno));
    }
    if (std::string why = decompress(in.get(), out.get(), maxBytes); !why.empty())
        return fail(why);
    const struct timespec times[2] = {input.st_atim, input.st_mtim};
    // The input's times and permissions, as an unpacking beside it has.
    if (::futimens(out.get(), times) != 0 || ::fchmod(out.get(), input.st_mode & 0666) != 0 ||
        ::fsync(out.get()) != 0)
        return fail(std::string("cannot write beside it: ") + std::strerror(errno));
    struct stat existing {};
    if (::lstat(result.path.c_str(), &existing) == 0) {
        const bool earlier =
            S_ISREG(existing.st_mode) && (sameTime(existing, input) || sameBytes(result.path, partial.path));
        if (!earlier)
            return fail(
                "\"" + result.path +
                "\" exists and is not an unpacking of it; it is left as it is (move it away to read \"" +
                path + "\")");
    }
    if (::rename(partial.path.c_str(), result.path.c_str()) != 0)
        return fail(std::string("cannot write beside it: ") + std::strerror(errno));
    partial.kept = true;
    result.ok = true;
    return result;
}
