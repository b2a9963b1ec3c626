// The parameter block's ext and its bounded field access.
#include "hub/param_block.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> Block(std::vector<std::uint8_t> header, std::size_t size = 64)
{
    std::vector<std::uint8_t> block(size, 0xAA);
    for (std::size_t i = 0; i < header.size() && 24 + i < size; ++i) block[24 + i] = header[i];
    return block;
}

TEST(ParameterBlockExt, SignaturePairs)
{
    const struct {
        std::vector<std::uint8_t> header;
        std::size_t size;
        std::uint32_t ext;
    } cases[] = {
        {{0x80, 0x83, 0x0E, 0x00}, 64, 14}, {{0x63, 0x89, 0x10, 0x00}, 64, 16}, {{0x11, 0x99, 0x34, 0x12}, 64, 0x1234},
        {{0x83, 0x80, 0x0E, 0x00}, 64, 0},  {{0x89, 0x63, 0x10, 0x00}, 64, 0},  {{0x99, 0x11, 0x10, 0x00}, 64, 0},
        {{0x63, 0x99, 0x10, 0x00}, 64, 0},  {{0x80, 0x83, 0x00, 0x00}, 64, 0},  {{0x80, 0x83, 0xFF, 0xFF}, 64, 0xFFFF},
        {{0x80, 0x83, 0x0E, 0x00}, 28, 14}, {{0x80, 0x83, 0x0E, 0x00}, 27, 0},  {{0x80, 0x83}, 26, 0},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> block = Block(c.header, c.size);
        EXPECT_EQ(ParameterBlockExt(block.data(), block.size()), c.ext) << c.size << " " << int(c.header[0]);
    }
    EXPECT_EQ(ParameterBlockExt(nullptr, 64), 0u);
}

TEST(ParameterBlockFields, NeverReadPastTheCopy)
{
    std::vector<std::uint8_t> block(30, 0);
    block[28] = 0x34;
    block[29] = 0x82;
    EXPECT_EQ(ParameterBlockUint16(block.data(), block.size(), 28), 0x8234);
    EXPECT_EQ(ParameterBlockInt16(block.data(), block.size(), 28), -32204);
    EXPECT_EQ(ParameterBlockUint16(block.data(), block.size(), 29), 0x0082);  // high byte past the end
    EXPECT_EQ(ParameterBlockUint16(block.data(), block.size(), 30), 0);
    EXPECT_EQ(ParameterBlockByte(block.data(), block.size(), SIZE_MAX), 0);
    EXPECT_EQ(ParameterBlockUint16(block.data(), block.size(), SIZE_MAX), 0);
    // The farthest field a 16-bit ext can place, against a copy of 30 bytes.
    EXPECT_EQ(ParameterBlockInt16(block.data(), block.size(), ParameterBlock::Acc2Gain + 0xFFFF + 4), 0);
}

}  // namespace
