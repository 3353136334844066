// The simulated device's command parser against any bytes on the line: no crash, replies always
// whole valid sentences, the filter list within its capacity.

#include "link/NMEA.h"
#include "sim/MuxDevice.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    SimOptions options;
    options.family = static_cast<MuxFamily>(data[0] % 4);
    options.bluetooth = (data[0] & 4) != 0;
    MuxDevice device(options);
    // Chunked as reads from a terminal come.
    size_t at = 1;
    size_t chunk = 1 + data[0] % 7;
    while (at < size) {
        const size_t n = std::min(chunk, size - at);
        for (const auto& reply : device.feed(data + at, n)) {
            Bytes line(reply.begin(), reply.end());
            line.push_back(0);
            if (!reply.starts_with("$PQVX") || !reply.ends_with("\r\n") || !NMEA::checkSumValid(line))
                std::abort();
        }
        at += n;
        chunk = chunk * 3 % 61 + 1;
    }
    if (device.state().filters.size() > MuxDevice::kFilterCapacity)
        std::abort();
    return 0;
}
