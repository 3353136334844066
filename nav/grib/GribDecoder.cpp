// Reading GRIB edition 1 messages section by section.

#include "nav/grib/GribDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr size_t kIndicatorLength = 8;
constexpr size_t kEndLength = 4; // "7777"
constexpr size_t kPdsMinimum = 28;
constexpr size_t kGdsMinimum = 28;
constexpr size_t kBmsMinimum = 6;
constexpr size_t kBdsMinimum = 11;
// Lengths are 24-bit fields: at most 16 MiB per message.
constexpr uint64_t kMessageMinimum = kIndicatorLength + kPdsMinimum + kBdsMinimum + kEndLength;

// Octet n (counted from 1) of the section at offset s; the callers have checked the bounds.
struct Octets {
    const GribBytes& b;
    size_t s;
    unsigned u8(size_t n) const { return b[s + n - 1]; }
    unsigned u16(size_t n) const { return u8(n) << 8 | u8(n + 1); }
    unsigned u24(size_t n) const { return u8(n) << 16 | u8(n + 1) << 8 | u8(n + 2); }
    // Sign bit and magnitude.
    int s16(size_t n) const {
        const unsigned v = u16(n);
        return (v & 0x8000) ? -int(v & 0x7fff) : int(v);
    }
    int s24(size_t n) const {
        const unsigned v = u24(n);
        return (v & 0x800000) ? -int(v & 0x7fffff) : int(v);
    }
};

bool fail(GribRecord& record, std::string why) {
    record.skipped = std::move(why);
    return false;
}

bool skip(GribRecord& record, std::string why) {
    record.skipped = std::move(why);
    return true;
}

// A section at offset: its length (octets 1-3) read and checked against the message's end.
bool sectionLength(GribRecord& record, size_t offset, size_t minimum, const char* name, uint32_t& length) {
    const size_t end = size_t(record.totalLength) - kEndLength;
    if (offset + 3 > end)
        return fail(record, std::string(name) + " runs past the message");
    length = Octets{record.buffer, offset}.u24(1);
    if (length < minimum)
        return fail(record, std::string(name) + " is too short (" + std::to_string(length) + " octets)");
    if (offset + length > end)
        return fail(record, std::string(name) + " runs past the message");
    return true;
}

// Searches the stream for "GRIB"; false at its end.
bool findMessage(std::FILE* stream) {
    uint32_t window = 0;
    for (int c; (c = std::getc(stream)) != EOF;) {
        window = window << 8 | unsigned(c);
        if (window == 0x47524942u) // "GRIB"
            return true;
    }
    return false;
}

bool readFully(std::FILE* stream, uint8_t* into, size_t count) {
    return std::fread(into, 1, count, stream) == count;
}

// Octets left in a stream on a regular file; 0 when that is not known.
size_t remaining(std::FILE* stream) {
    struct stat info {};
    const int fd = ::fileno(stream);
    const long at = std::ftell(stream);
    if (fd < 0 || at < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < at)
        return 0;
    return size_t(info.st_size - at);
}

// Passes over count bytes; false when the stream ends first.
bool discard(std::FILE* stream, uint64_t count) {
    uint8_t scratch[1 << 14];
    while (count > 0) {
        const size_t take = count < sizeof scratch ? size_t(count) : sizeof scratch;
        if (!readFully(stream, scratch, take))
            return false;
        count -= take;
    }
    return true;
}

// Increments left out of the grid description, from the corners.
void deriveIncrements(GribRecord& r) {
    if (r.di == 0.0 && r.ni > 1) {
        double span = (r.scanMode & 0x80) ? r.lo1 - r.lo2 : r.lo2 - r.lo1;
        if (span < 0)
            span += 360.0;
        r.di = span / (r.ni - 1);
    }
    if (r.dj == 0.0 && r.nj > 1 && r.gridType != 4)
        r.dj = std::fabs(r.la2 - r.la1) / (r.nj - 1);
}

} // namespace

namespace {

// Reads the edition 1 message whose indicator is in head, from the stream just after it. A length
// that the file cannot hold, or a message that does not end in "7777" where its length says, is
// found before the body is read, so a false header in junk costs no more than its own octets.
int readMessage(std::FILE* stream, GribRecord& record, const uint8_t (&head)[kIndicatorLength]) {
    const uint32_t length = uint32_t(head[4]) << 16 | uint32_t(head[5]) << 8 | head[6];
    record.totalLength = length;
    if (length < kMessageMinimum) {
        record.skipped = "message length " + std::to_string(length) + " is too short";
        return kGribMalformed;
    }
    const size_t left = remaining(stream);
    const long body = std::ftell(stream);
    if (left > 0 && body >= 0) {
        if (length - kIndicatorLength > left) {
            record.skipped = "the file ends inside the message";
            return kGribShortRead;
        }
        uint8_t end[kEndLength] = {};
        const bool found = std::fseek(stream, long(length - kIndicatorLength - kEndLength), SEEK_CUR) == 0 &&
                           readFully(stream, end, kEndLength);
        if (std::fseek(stream, body, SEEK_SET) != 0 || !found)
            return kGribShortRead;
        if (std::memcmp(end, "7777", kEndLength) != 0) {
            record.skipped = "message does not end in 7777 where its length says";
            return kGribMalformed;
        }
    }
    // Grown as the octets arrive, so a length that promises more than the file holds costs no
    // more memory than the file; at once when the file is known to hold it.
    const size_t first = length - kIndicatorLength <= left ? length : size_t(1) << 16;
    record.buffer.reserve(std::min<size_t>(length, first) + 8);
    record.buffer.assign(head, head + kIndicatorLength);
    for (size_t have = kIndicatorLength; have < length;) {
        const size_t want = std::min<size_t>(length, std::max<size_t>(have * 2, first));
        record.buffer.reserve(want + 8);
        record.buffer.resize(want);
        if (!readFully(stream, record.buffer.data() + have, want - have))
            return kGribShortRead;
        have = want;
    }
    record.buffer.resize(length + 8, 0); // room for the unpacking's 64-bit reads
    if (std::memcmp(record.buffer.data() + length - kEndLength, "7777", kEndLength) != 0) {
        record.skipped = "message does not end in 7777 where its length says";
        return kGribMalformed;
    }
    return kGribRead;
}

// The message whose "GRIB" has just been read, of any edition.
int readCandidate(std::FILE* stream, GribRecord& record) {
    uint8_t head[kIndicatorLength] = {'G', 'R', 'I', 'B'};
    if (!readFully(stream, head + 4, 4))
        return kGribShortRead;
    const uint32_t length = uint32_t(head[4]) << 16 | uint32_t(head[5]) << 8 | head[6];
    if (length == 24) { // edition 0: octets 5-7 are already the product section's length
        record.edition = 0;
        record.skipped = "edition 0 is not decoded";
        return kGribRead;
    }
    record.edition = head[7];
    if (record.edition == 2) {
        uint8_t size[8];
        if (!readFully(stream, size, sizeof size))
            return kGribShortRead;
        uint64_t total = 0;
        for (uint8_t b : size)
            total = total << 8 | b;
        record.totalLength = total;
        if (total < 16) {
            record.skipped = "edition 2 message shorter than its indicator";
            return kGribMalformed;
        }
        record.skipped = "edition 2 is not decoded";
        return discard(stream, total - 16) ? kGribRead : kGribShortRead;
    }
    if (record.edition != 1) {
        record.skipped = "edition " + std::to_string(record.edition) + " is not a GRIB edition";
        return kGribMalformed;
    }
    return readMessage(stream, record, head);
}

} // namespace

int unpackIS(std::FILE* stream, GribRecord& record) {
    // A header that does not hold a whole message may be junk that happens to read "GRIB": the
    // search goes on from the octet after it, and what it was is told only when nothing follows.
    int failure = kGribEnd;
    std::string why;
    for (;;) {
        if (!findMessage(stream)) {
            record.skipped = why;
            return failure;
        }
        const long start = std::ftell(stream) - 4;
        record.buffer.clear();
        const int status = readCandidate(stream, record);
        if (status == kGribRead)
            return status;
        if (failure == kGribEnd)
            failure = status, why = record.skipped;
        if (start < 0 || std::fseek(stream, start + 4, SEEK_SET) != 0) {
            record.skipped = why;
            return failure;
        }
    }
}

bool unpackPDS(GribRecord& r, size_t offset) {
    if (!sectionLength(r, offset, kPdsMinimum, "product section", r.pdsLength))
        return false;
    const Octets o{r.buffer, offset};
    r.tableVersion = int(o.u8(4));
    r.centre = int(o.u8(5));
    r.process = int(o.u8(6));
    r.gridId = int(o.u8(7));
    r.hasGds = o.u8(8) & 0x80;
    r.hasBms = o.u8(8) & 0x40;
    r.parameter = int(o.u8(9));
    r.levelType = int(o.u8(10));
    r.level = int(o.u16(11));
    r.level1 = int(o.u8(11));
    r.level2 = int(o.u8(12));
    r.yearOfCentury = int(o.u8(13));
    r.month = int(o.u8(14));
    r.day = int(o.u8(15));
    r.hour = int(o.u8(16));
    r.minute = int(o.u8(17));
    r.timeUnit = int(o.u8(18));
    r.p1 = int(o.u8(19));
    r.p2 = int(o.u8(20));
    r.timeRange = int(o.u8(21));
    if (r.timeRange == 10)
        r.p1 = int(o.u16(19));
    r.numberAveraged = int(o.u16(22));
    r.numberMissing = int(o.u8(24));
    r.century = int(o.u8(25));
    r.subCentre = int(o.u8(26));
    r.decimalScale = o.s16(27);
    r.year = r.yearOfCentury + (r.century - 1) * 100;
    return true;
}

bool unpackGDS(GribRecord& r, size_t offset) {
    if (!sectionLength(r, offset, kBmsMinimum, "grid description", r.gdsLength))
        return false;
    const Octets o{r.buffer, offset};
    r.gridType = int(o.u8(6));
    const bool latLon = r.gridType == 0 || r.gridType == 4 || r.gridType == 10;
    const bool projected = r.gridType == 3 || r.gridType == 5;
    if (!latLon && !projected)
        return true; // described in terms we do not read; the values stay undecoded
    if (r.gdsLength < kGdsMinimum)
        return fail(r, "grid description is too short (" + std::to_string(r.gdsLength) + " octets)");
    r.ni = int(o.u16(7));
    r.nj = int(o.u16(9));
    r.la1 = o.s24(11) / 1000.0;
    r.lo1 = o.s24(14) / 1000.0;
    r.resolutionFlags = int(o.u8(17));
    r.scanMode = int(o.u8(28));
    if (latLon) {
        r.la2 = o.s24(18) / 1000.0;
        r.lo2 = o.s24(21) / 1000.0;
        const unsigned di = o.u16(24), dj = o.u16(26);
        const bool given = r.resolutionFlags & 0x80;
        r.di = given && di != 0xffff ? di / 1000.0 : 0.0;
        // A Gaussian grid gives the number of parallels between a pole and the equator here.
        r.dj = given && dj != 0xffff ? (r.gridType == 4 ? double(dj) : dj / 1000.0) : 0.0;
        if (r.ni != 0xffff && r.nj != 0xffff)
            deriveIncrements(r);
    } else {
        r.lov = o.s24(18) / 1000.0;
        r.dx = double(o.u24(21));
        r.dy = double(o.u24(24));
        r.projectionCentre = int(o.u8(27));
    }
    return true;
}

void freegrib(GribRecord& record) {
    GribBytes buffer = std::move(record.buffer);
    GribValues values = std::move(record.values);
    const uint64_t limit = record.valueLimit;
    buffer.clear();
    values.clear();
    record = GribRecord{};
    record.valueLimit = limit;
    record.buffer = std::move(buffer); // keep the capacity for the next message
    record.values = std::move(values);
}

namespace {

// The sections of a whole message; false when they contradict each other or the message.
bool unpackSections(GribRecord& record) {
    size_t offset = kIndicatorLength;
    if (!unpackPDS(record, offset))
        return false;
    offset += record.pdsLength;
    if (record.hasGds) {
        if (!unpackGDS(record, offset))
            return false;
        offset += record.gdsLength;
    }
    size_t bmsOffset = 0;
    if (record.hasBms) {
        if (!sectionLength(record, offset, kBmsMinimum, "bit map", record.bmsLength))
            return false;
        bmsOffset = offset;
        offset += record.bmsLength;
    }
    return unpackBDS(record, offset, bmsOffset);
}

} // namespace

int unpackgrib(std::FILE* stream, GribRecord& record) {
    freegrib(record);
    const int status = unpackIS(stream, record);
    if (status != kGribRead || record.edition != 1)
        return status;
    // The message is whole, so the file goes on after it whatever its sections say.
    if (!unpackSections(record)) {
        record.damaged = true;
        record.decoded = false;
        record.values.clear();
    }
    return kGribRead;
}

namespace {

// Why the values of an otherwise sound message are not decoded; empty when they are.
std::string undecodable(const GribRecord& r, size_t bmsOffset) {
    if (!r.hasGds)
        return "no grid description (catalogued grid " + std::to_string(r.gridId) + ")";
    if (r.gridType != 0 && r.gridType != 3 && r.gridType != 4 && r.gridType != 5 && r.gridType != 10)
        return "grid type " + std::to_string(r.gridType) + " is not decoded";
    if (r.ni == 0xffff || r.nj == 0xffff)
        return "quasi-regular grid is not decoded";
    if (r.bdsFlags & 0x80)
        return "spherical harmonic coefficients are not decoded";
    if (r.bdsFlags & 0x40)
        return "complex or second-order packing is not decoded";
    if (r.hasBms && Octets{r.buffer, bmsOffset}.u16(5) != 0)
        return "predefined bit map " + std::to_string(Octets{r.buffer, bmsOffset}.u16(5)) + " is not decoded";
    return {};
}

// Spreads the packed values (at the front of values) over the points the bit map marks present.
void applyBitMap(const uint8_t* map, GribValues& values, size_t present) {
    size_t m = present;
    for (size_t k = values.size(); k-- > 0;) {
        if (map[k >> 3] & (0x80u >> (k & 7)))
            values[k] = values[--m];
        else
            values[k] = kGribMissing;
    }
}

size_t countPresent(const uint8_t* map, size_t points) {
    size_t n = 0, k = 0;
    for (; k + 8 <= points; k += 8)
        n += size_t(std::popcount(unsigned(map[k >> 3])));
    for (; k < points; ++k)
        n += (map[k >> 3] >> (7 - (k & 7))) & 1;
    return n;
}

} // namespace

bool unpackBDS(GribRecord& r, size_t offset, size_t bmsOffset) {
    if (!sectionLength(r, offset, kBdsMinimum, "binary data", r.bdsLength))
        return false;
    const Octets o{r.buffer, offset};
    r.bdsFlags = int(o.u8(4) & 0xf0);
    const unsigned unused = o.u8(4) & 0x0f;
    r.binaryScale = o.s16(5);
    r.referenceValue = ibm2real(r.buffer, uint64_t(offset + 6) * 8);
    r.bitsPerValue = int(o.u8(11));
    if (std::string why = undecodable(r, bmsOffset); !why.empty())
        return skip(r, std::move(why));
    if (r.bitsPerValue > 32)
        return fail(r, std::to_string(r.bitsPerValue) + " bits per value");
    const uint64_t points = r.pointCount();
    if (points == 0)
        return fail(r, "grid of no points");
    if (points > kGribMaxPoints)
        return fail(r, "grid of " + std::to_string(points) + " points is too large");
    if (points > r.valueLimit) {
        r.overLimit = true;
        return skip(r, "grid of " + std::to_string(points) + " points is more than the " +
                           std::to_string(r.valueLimit) + " values left to hold");
    }
    const uint8_t* map = nullptr;
    uint64_t needed = points;
    if (r.hasBms) {
        const Octets b{r.buffer, bmsOffset};
        const uint64_t mapBits = uint64_t(r.bmsLength - 6) * 8;
        if (mapBits < b.u8(4) || mapBits - b.u8(4) < points)
            return fail(r, "bit map holds fewer than the grid's " + std::to_string(points) + " points");
        map = r.buffer.data() + bmsOffset + 6;
        needed = countPresent(map, size_t(points));
    }
    // Some centres' catalogued grids carry a duplicate pole value first; others of the same
    // numbers hold exactly the grid.
    const bool poleGrid =
        (r.gridType == 0 || r.gridType == 4 || r.gridType == 10) &&
        (r.gridId == 23 || r.gridId == 24 || r.gridId == 26 || r.gridId == 63 || r.gridId == 64);
    bool skipFirst = false;
    const unsigned bits = unsigned(r.bitsPerValue);
    if (bits > 0) {
        const uint64_t dataBits = uint64_t(r.bdsLength) * 8;
        if (dataBits < 88 + unused)
            return fail(r, "binary data shorter than its header");
        const uint64_t packed = (dataBits - unused - 88) / bits;
        if (packed < needed)
            return fail(r, std::to_string(packed) + " packed values for " + std::to_string(needed) +
                               " grid points");
        skipFirst = poleGrid && packed > needed;
    }
    const double decimal = std::pow(10.0, r.decimalScale);
    r.values.resize(size_t(points));
    unpackValues(r.buffer.data(), uint64_t(offset + 11) * 8 + (skipFirst ? bits : 0), bits, size_t(needed),
                 r.referenceValue / decimal, std::ldexp(1.0, r.binaryScale) / decimal, r.values.data());
    if (map)
        applyBitMap(map, r.values, size_t(needed));
    r.decoded = true;
    return true;
}

bool levelIsOneValue(int levelType) {
    switch (levelType) {
    case 100:
    case 103:
    case 105:
    case 107:
    case 109:
    case 111:
    case 113:
    case 115:
    case 125:
    case 160:
    case 200:
    case 201:
        return true;
    default:
        return false;
    }
}

double GribRecord::precision() const {
    return 0.5 * std::ldexp(1.0, binaryScale) / std::pow(10.0, decimalScale);
}
