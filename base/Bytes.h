#pragma once
// A line or datagram as raw bytes, as read from a device, a file or a socket.

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;
