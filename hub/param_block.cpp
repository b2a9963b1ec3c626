#include "hub/param_block.h"

bool ParameterBlockHasSignature(const std::uint8_t* copy, std::size_t size)
{
    // The header is bytes 24 to 27: a shorter block holds none.
    if (size < kParameterBlockHeaderEnd) return false;
    const std::uint8_t first = ParameterBlockByte(copy, size, ParameterBlock::ParameterBlockSignature);
    const std::uint8_t second = ParameterBlockByte(copy, size, ParameterBlock::ParameterBlockSignature + 1);
    return (first == 0x63 && second == 0x89) || (first == 0x11 && second == 0x99) || (first == 0x80 && second == 0x83);
}

std::uint32_t ParameterBlockExt(const std::uint8_t* copy, std::size_t size)
{
    if (!ParameterBlockHasSignature(copy, size)) return 0;
    return ParameterBlockUint16(copy, size, ParameterBlock::ParameterBlockExtLength);
}

std::uint8_t ParameterBlockByte(const std::uint8_t* copy, std::size_t size, std::size_t offset)
{
    if (copy == nullptr || offset >= size) return 0;
    return copy[offset];
}

std::uint16_t ParameterBlockUint16(const std::uint8_t* copy, std::size_t size, std::size_t offset)
{
    const std::uint32_t low = ParameterBlockByte(copy, size, offset);
    const std::uint32_t high = offset < SIZE_MAX ? ParameterBlockByte(copy, size, offset + 1) : 0u;
    return static_cast<std::uint16_t>(low | (high << 8));
}

std::int16_t ParameterBlockInt16(const std::uint8_t* copy, std::size_t size, std::size_t offset)
{
    return static_cast<std::int16_t>(ParameterBlockUint16(copy, size, offset));
}
