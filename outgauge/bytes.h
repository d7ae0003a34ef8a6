// Little-endian fields of a received datagram, read byte by byte whatever the host's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline std::uint16_t bytesU16(const unsigned char *data, std::size_t off)
{
    return static_cast<std::uint16_t>(data[off] | (data[off + 1] << 8));
}

inline std::uint32_t bytesU32(const unsigned char *data, std::size_t off)
{
    return static_cast<std::uint32_t>(data[off]) |
           (static_cast<std::uint32_t>(data[off + 1]) << 8) |
           (static_cast<std::uint32_t>(data[off + 2]) << 16) |
           (static_cast<std::uint32_t>(data[off + 3]) << 24);
}

inline std::int32_t bytesS32(const unsigned char *data, std::size_t off)
{
    const std::uint32_t bits = bytesU32(data, off);
    std::int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline float bytesF32(const unsigned char *data, std::size_t off)
{
    const std::uint32_t bits = bytesU32(data, off);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void bytesPutU32(unsigned char *data, std::size_t off, std::uint32_t value)
{
    data[off] = static_cast<unsigned char>(value & 0xFF);
    data[off + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    data[off + 2] = static_cast<unsigned char>((value >> 16) & 0xFF);
    data[off + 3] = static_cast<unsigned char>((value >> 24) & 0xFF);
}

inline void bytesPutF32(unsigned char *data, std::size_t off, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bytesPutU32(data, off, bits);
}
