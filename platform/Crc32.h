#pragma once
// CRC-32 of zip members (the polynomial of zlib's crc32), continued from crc the way zlib's is.
// On processors with carry-less multiply it runs several times faster than zlib's own.
#include <cstddef>

unsigned long crc32Update(unsigned long crc, const void* data, size_t len);
