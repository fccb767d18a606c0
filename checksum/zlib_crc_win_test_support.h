// The checksum tests' independent oracle: zlib's CRC-32 of some bytes, as
// the eight upper-case hexadecimal digits the file list shows.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>

inline std::string ZlibCrcText(const std::string& bytes) {
    uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char text[9];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(crc));
    return text;
}
