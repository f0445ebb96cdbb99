#include "authoring/token_writer.h"

#include "authoring/token_costs.h"

void TokenWriter::StoreWord() {
  out_[wordAt_] = uint8_t(word_);
  out_[wordAt_ + 1] = uint8_t(word_ >> 8);
  out_[wordAt_ + 2] = uint8_t(word_ >> 16);
  out_[wordAt_ + 3] = uint8_t(word_ >> 24);
}

void TokenWriter::Bit(uint32_t bit) {
  if (bitsUsed_ == 32) {
    if (!out_.empty()) StoreWord();
    // Every byte before the new word is final.
    if (sink_ != nullptr && out_.size() >= kHandOverAt) {
      sink_->Write(out_.data(), out_.size());
      out_.clear();
    }
    wordAt_ = out_.size();
    out_.resize(out_.size() + 4);
    word_ = 0;
    bitsUsed_ = 0;
  }
  word_ |= (bit & 1u) << (31 - bitsUsed_);
  ++bitsUsed_;
}

// The low `count` bits of value (at most 31), most significant first.
void TokenWriter::Bits(uint32_t value, int count) {
  while (count > 0) {
    if (bitsUsed_ == 32) Bit(value >> (count - 1)), --count;
    if (count == 0) break;
    const int take = count < 32 - bitsUsed_ ? count : 32 - bitsUsed_;
    const uint32_t chunk = (value >> (count - take)) & ((1u << take) - 1);
    word_ |= chunk << (32 - bitsUsed_ - take);
    bitsUsed_ += take;
    count -= take;
  }
}

void TokenWriter::Byte(uint32_t value) { out_.push_back(uint8_t(value)); }

void TokenWriter::Literal(uint8_t value) {
  Bit(1);
  Byte(value);
}

void TokenWriter::ShortMatch(uint32_t distance) {
  const uint32_t v = distance - 1;
  Bits(0b01, 2);
  if (distance <= kMaxNarrowShortDistance) {
    Bit(0);
    Byte(v);
  } else {
    Bit(1);
    Byte((v - kNarrowShortValues) >> kWideShortExtraBits);
    Bits(v - kNarrowShortValues, kWideShortExtraBits);
  }
}

void TokenWriter::LongMatch(uint32_t distance, uint32_t length) {
  const uint32_t v = distance - 1;
  Bits(0b00, 2);
  // Distance code: a selector of 1 to 4 bits, a byte, 1 to 4 extra bits.
  const TokenCode& code = kDistanceCodes[LongDistanceClass(distance)];
  Bits(&code == &kDistanceCodes[kDistanceCodeCount - 1] ? 0 : 1, int(code.selectorBits));
  const uint32_t rest = v - code.base;
  Byte(rest >> code.extraBits);
  Bits(rest, int(code.extraBits));
  // Length code: a 1 after 0 to 4 zeros and extra bits, or five zeros and a byte.
  unsigned c = 0;
  while (c < kLengthByteCode && length >= kLengthCodes[c + 1].base) ++c;
  const TokenCode& lengthCode = kLengthCodes[c];
  Bits(c == kLengthByteCode ? 0 : 1, int(lengthCode.selectorBits));
  if (c == kLengthByteCode) {
    Byte(length - lengthCode.base);
  } else {
    Bits(length - lengthCode.base, int(lengthCode.extraBits));
  }
}

std::vector<uint8_t> TokenWriter::Finish() {
  // The end marker: the wide short match whose v is kEndMarkerValue.
  ShortMatch(kEndMarkerValue + 1);
  StoreWord();
  std::vector<uint8_t> stream = std::move(out_);
  out_.clear();
  if (sink_ != nullptr) {
    sink_->Write(stream.data(), stream.size());
    stream.clear();
  }
  wordAt_ = 0;
  word_ = 0;
  bitsUsed_ = 32;
  return stream;
}
