#pragma once
// Over MODBUS-RTU a 32-bit parameter travels as one register, its low 16 bits: a drive's map
// holds nothing else at that address. Those 16 bits never stand for the whole value: a read
// only confirms a value the program already holds, and a write is sent only where the drive
// gives the whole value back from the register. The maker's protocol carries all 32 bits.
#include "protocol/FrameCodec.h"

#include <cstdint>

class CommLink;
struct ProgramContext;

namespace LowHalfRegister {

// The value crosses the line cut to its low 16 bits.
bool cuts(Protocol protocol, bool is32);
// As cuts(), for parameter `index` over the link's protocol.
bool cuts(const CommLink& link, const ProgramContext& context, int index);

// A register read agrees with `value` when it holds the same low 16 bits; it then settles it.
bool agrees(std::uint32_t reg, std::int64_t value);

// The drive holds `value` whole after a one-register write: it extends the register by its
// sign for a signed parameter (-32768..32767) and with zeros otherwise (0..65535).
bool survivesWrite(std::int64_t value, bool isSigned);

} // namespace LowHalfRegister
