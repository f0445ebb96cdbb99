#pragma once

#include <cstddef>
#include <cstdint>

// Expands one compressed stream of `sourceSize` bytes into `destination` of
// `destinationSize` bytes. The stream ends at its end marker; bytes of the
// destination behind the decoded output are left as they were.
//
// `produced`, when given, receives the number of bytes decoded.
//
// Returns false for a malformed stream: one that would write past the
// destination, copy from before its start, or read past the source. Decoding
// stops there and touches nothing outside the two blocks.
bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced);
