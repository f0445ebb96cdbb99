#pragma once

#include <cstdint>

// The archive's scrambling transform, applied in place. It is its own
// inverse: the same call scrambles and unscrambles. The key stream depends on
// the length alone; buffers shorter than 4 bytes and the last length % 4
// bytes are left unchanged.
void Unscramble(uint8_t* buffer, uint32_t length);
