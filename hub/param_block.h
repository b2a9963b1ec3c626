// Layout of the hub's calibration parameter block. The working copy in hub
// RAM (gBufferAddr) and the saved copy in eFlash (gEFlashAddr) share it.
#pragma once

#include <cstddef>
#include <cstdint>

// Size of every local area into which a whole parameter block is read; it
// holds any 16-bit length.
constexpr std::size_t kParameterAreaSize = 65536;

// Byte offsets of the fields that the tool interprets. The ACC2 fields move
// by ext (see ParameterBlockExt); x, y, z are three consecutive 16-bit words.
namespace ParameterBlock {

constexpr std::size_t BlockHead = 0;  // 2 bytes
constexpr std::size_t BlockHeadLength = 2;
constexpr std::size_t LightGainBase = 4;   // unsigned 16-bit
constexpr std::size_t LightGainValue = 6;  // unsigned 16-bit
constexpr std::size_t Acc1FlagByte = 11;
constexpr std::size_t Acc1Bias = 12;                 // x, y, z in 1/256 g
constexpr std::size_t GyroBias = 18;                 // x, y, z in gyrometer counts
constexpr std::size_t ParameterBlockSignature = 24;  // 2 bytes
constexpr std::size_t ParameterBlockExtLength = 26;  // unsigned 16-bit
constexpr std::size_t Acc2FlagByte = 25;             // + ext
constexpr std::size_t Acc2Bias = 26;                 // + ext; x, y, z in 1/256 g
constexpr std::size_t Acc2Gain = 32;                 // + ext; x, y, z in 1/256
constexpr std::size_t Acc1Gain = 38;                 // x, y, z in 1/256
constexpr std::size_t CompassBiasWithAcc2 = 52;      // when ACC2 is present
constexpr std::size_t CompassBiasWithoutAcc2 = 28;   // when it is not
constexpr std::size_t TripleLength = 6;

}  // namespace ParameterBlock

// A block needs at least this many bytes to hold the signature and ext.
constexpr std::size_t kParameterBlockHeaderEnd = ParameterBlock::ParameterBlockExtLength + 2;

// True when the copy holds its header (size 28 or more) and bytes 24 and 25
// are one of the valid signature pairs (0x63, 0x89), (0x11, 0x99) or
// (0x80, 0x83), in that byte order.
bool ParameterBlockHasSignature(const std::uint8_t* copy, std::size_t size);

// ext of a copy: its ParameterBlockExtLength (bytes 26-27, low byte first)
// when the copy has a valid signature, else 0. size is how many bytes of the
// copy are at hand (the block length, or less when less was read); a copy of
// fewer than 28 bytes has no signature and ext 0.
std::uint32_t ParameterBlockExt(const std::uint8_t* copy, std::size_t size);

// Field access that never reads past the copy: a byte at or past size reads
// as 0. Offsets are taken in a width that no block offset plus ext can wrap.
std::uint8_t ParameterBlockByte(const std::uint8_t* copy, std::size_t size, std::size_t offset);
std::uint16_t ParameterBlockUint16(const std::uint8_t* copy, std::size_t size, std::size_t offset);
std::int16_t ParameterBlockInt16(const std::uint8_t* copy, std::size_t size, std::size_t offset);
