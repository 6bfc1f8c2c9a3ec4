#include "tools/drivesim/SimWire.h"

// Interim: replaced by the link's codec primitives once they are in the tree.
namespace simwire {

std::uint8_t sum8(std::span<const std::uint8_t> bytes)
{
    std::uint8_t s = 0;
    for (std::uint8_t b : bytes)
        s = std::uint8_t(s + b);
    return s;
}

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace simwire
