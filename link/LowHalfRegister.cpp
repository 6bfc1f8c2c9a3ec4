#include "link/LowHalfRegister.h"

#include "link/CommLink.h"

namespace LowHalfRegister {

bool cuts(Protocol protocol, bool is32) {
    return protocol == Protocol::Modbus && is32;
}

bool cuts(const CommLink& link, const ProgramContext& context, int index) {
    return cuts(link.settings().protocolKind(), parameterIs32(context, index));
}

bool agrees(std::uint32_t reg, std::int64_t value) {
    return (reg & 0xFFFFu) == (std::uint64_t(value) & 0xFFFFu);
}

bool survivesWrite(std::int64_t value, bool isSigned) {
    return isSigned ? value >= -32768 && value <= 32767 : value >= 0 && value <= 65535;
}

} // namespace LowHalfRegister
