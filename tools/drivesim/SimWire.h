#pragma once
// The checks the simulated drive puts on its replies and tests on requests.
#include <cstdint>
#include <span>

namespace simwire {

std::uint8_t sum8(std::span<const std::uint8_t> bytes);
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

} // namespace simwire
