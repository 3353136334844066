// PNG files of a PixelImage: signature, header, the pixels deflated by zlib, end.

#include "exchange/PixelImage.h"

#include <zlib.h>

namespace exchange {

namespace {

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((v >> shift) & 0xFF);
}

void chunk(std::string& out, const char type[4], const std::string& data) {
    put32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    put32(out, uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes, uInt(out.size() - start))));
}

} // namespace

std::string PixelImage::png() const {
    // Each row: filter type 0 (none), then red, green, blue, alpha per pixel.
    std::string raw;
    raw.reserve(size_t(height_) * (1 + size_t(width_) * 4));
    for (int y = 0; y < height_; ++y) {
        raw += '\0';
        for (int x = 0; x < width_; ++x) {
            const Pixel p = at(x, y);
            raw += char(p.red), raw += char(p.green), raw += char(p.blue), raw += char(p.alpha);
        }
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 9) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::string header;
    put32(header, uint32_t(width_));
    put32(header, uint32_t(height_));
    header += "\x08\x06";           // 8 bits a sample, RGBA
    header += std::string(3, '\0'); // deflate, adaptive filtering, not interlaced

    std::string out = "\x89PNG\r\n\x1a\n";
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

} // namespace exchange
