// Byte order of file data.
//
// Every number in a WAVE file is little-endian. Records in memory hold host-order
// numbers; they are converted field by field right after reading and right before
// writing. ShortSwap and LongSwap are that conversion: the identity on a
// little-endian host, a byte swap on a big-endian one. The Host parameter exists so
// that tests can exercise the big-endian path on any machine.
#pragma once

#include <bit>
#include <cstdint>

template <std::endian Host = std::endian::native>
constexpr int16_t ShortSwap(int16_t value) {
    if constexpr (Host == std::endian::little) {
        return value;
    } else {
        const auto u = static_cast<uint16_t>(value);
        return static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
    }
}

template <std::endian Host = std::endian::native>
constexpr int32_t LongSwap(int32_t value) {
    if constexpr (Host == std::endian::little) {
        return value;
    } else {
        const auto u = static_cast<uint32_t>(value);
        return static_cast<int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) |
                                    (u << 24));
    }
}

// In-place conversion of an unsigned record field between file and host order
// (the conversion is its own inverse).
inline void SwapField(uint16_t& field) {
    field = static_cast<uint16_t>(ShortSwap(static_cast<int16_t>(field)));
}
inline void SwapField(uint32_t& field) {
    field = static_cast<uint32_t>(LongSwap(static_cast<int32_t>(field)));
}
inline void SwapField(uint64_t& field) {
    uint32_t low = static_cast<uint32_t>(field);
    uint32_t high = static_cast<uint32_t>(field >> 32);
    SwapField(low);
    SwapField(high);
    if constexpr (std::endian::native == std::endian::little) {
        field = (uint64_t{high} << 32) | low;
    } else {
        field = (uint64_t{low} << 32) | high;
    }
}
