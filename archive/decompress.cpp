#include "archive/decompress.h"

namespace {

// Reads control bits (most significant first from little-endian 32-bit words
// placed in the stream where they are needed) and data bytes, never past the
// end of the source.
class StreamReader {
 public:
  StreamReader(const uint8_t* source, size_t size) : source_(source), size_(size) {}

  bool Bit(uint32_t* bit) {
    if (bitsLeft_ == 0) {
      if (size_ - position_ < 4) return false;
      const uint8_t* p = source_ + position_;
      word_ = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
      position_ += 4;
      bitsLeft_ = 32;
    }
    *bit = word_ >> 31;
    word_ <<= 1;
    --bitsLeft_;
    return true;
  }

  bool Bits(int count, uint32_t* value) {
    for (int i = 0; i < count; ++i) {
      uint32_t bit;
      if (!Bit(&bit)) return false;
      *value = (*value << 1) | bit;
    }
    return true;
  }

  bool Byte(uint32_t* value) {
    if (position_ >= size_) return false;
    *value = source_[position_++];
    return true;
  }

 private:
  const uint8_t* source_;
  size_t size_;
  size_t position_ = 0;
  uint32_t word_ = 0;
  int bitsLeft_ = 0;
};

bool CopyMatch(uint8_t* out, size_t size, size_t* p, uint32_t distance, uint32_t length) {
  if (distance > *p || length > size - *p) return false;
  const uint8_t* from = out + *p - distance;
  uint8_t* to = out + *p;
  for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
  *p += length;
  return true;
}

}  // namespace

bool Decompress(uint8_t* destination, size_t destinationSize, const uint8_t* source,
                size_t sourceSize, size_t* produced) {
  StreamReader in(source, sourceSize);
  size_t p = 0;
  bool sound = false;
  for (;;) {
    uint32_t bit, b, v = 0;
    if (!in.Bit(&bit)) break;
    if (bit) {  // literal
      if (!in.Byte(&b) || p >= destinationSize) break;
      destination[p++] = uint8_t(b);
      continue;
    }
    if (!in.Bit(&bit)) break;
    if (bit) {  // short match, wide short match or end marker
      uint32_t wide;
      if (!in.Bit(&wide) || !in.Byte(&b)) break;
      v = b;
      if (wide) {
        uint32_t x = 0;
        if (!in.Bits(3, &x)) break;
        v = 256 + b * 8 + x;
        if (v >= 2303) {
          sound = true;
          break;
        }
      }
      if (!CopyMatch(destination, destinationSize, &p, v + 1, 2)) break;
      continue;
    }
    // long match: distance code, then length code
    int extraBits = 4;
    uint32_t base = 4096, scale = 16;
    static const struct { int extra; uint32_t base, scale; } kDistance[4] = {
        {1, 0, 2}, {1, 512, 2}, {2, 1024, 4}, {3, 2048, 8}};
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
      if (!in.Bit(&bit)) { ok = false; break; }
      if (bit) {
        extraBits = kDistance[i].extra;
        base = kDistance[i].base;
        scale = kDistance[i].scale;
        break;
      }
    }
    uint32_t x = 0;
    if (!ok || !in.Byte(&b) || !in.Bits(extraBits, &x)) break;
    v = base + b * scale + x;
    static const struct { int extra; uint32_t base; } kLength[5] = {
        {0, 3}, {0, 4}, {1, 5}, {2, 7}, {4, 11}};
    uint32_t length = 0;
    int zeros = 0;
    for (; zeros < 5; ++zeros) {
      if (!in.Bit(&bit)) { ok = false; break; }
      if (bit) break;
    }
    if (!ok) break;
    if (zeros == 5) {
      if (!in.Byte(&b)) break;
      length = 27 + b;
    } else {
      uint32_t e = 0;
      if (!in.Bits(kLength[zeros].extra, &e)) break;
      length = kLength[zeros].base + e;
    }
    if (!CopyMatch(destination, destinationSize, &p, v + 1, length)) break;
  }
  if (produced != nullptr) *produced = p;
  return sound;
}
