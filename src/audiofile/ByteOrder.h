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

// The conversion of an unsigned record field between file and host order (it is
// its own inverse). Values in and out, never references, so that it serves the
// fields of packed records, which may sit at any address.
inline uint16_t Swapped(uint16_t field) {
    return static_cast<uint16_t>(ShortSwap(static_cast<int16_t>(field)));
}
inline uint32_t Swapped(uint32_t field) {
    return static_cast<uint32_t>(LongSwap(static_cast<int32_t>(field)));
}
