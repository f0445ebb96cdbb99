#include "archive/decompress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive/decode_limits.h"
#include "authoring/compressor.h"
#include "tests/support/sweep_stride.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Writes a stream the way the decoder reads it: a control word is reserved
// at the current end of the stream when its first bit is written, data bytes
// go to the end of the stream.
class StreamWriter {
 public:
  void Bit(unsigned bit) {
    if (used_ == 32) {
      wordAt_ = stream_.size();
      stream_.resize(stream_.size() + 4, 0);
      used_ = 0;
    }
    if (bit) stream_[wordAt_ + 3 - used_ / 8] |= uint8_t(0x80 >> (used_ % 8));
    ++used_;
  }
  // Bits written as text, most significant first: Bits("011").
  void Bits(const char* bits) {
    for (; *bits; ++bits) Bit(*bits == '1');
  }
  void Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) Bit((value >> i) & 1);
  }
  void Byte(uint32_t value) { stream_.push_back(uint8_t(value)); }

  void Literal(uint8_t value) {
    Bit(1);
    Byte(value);
  }
  // Length 2 from 1..2303 back.
  void ShortMatch(uint32_t distance) {
    const uint32_t v = distance - 1;
    if (v < 256) {
      Bits("010");
      Byte(v);
    } else {
      Bits("011");
      Byte((v - 256) >> 3);
      Bits((v - 256) & 7, 3);
    }
  }
  // Length 3..282 from 1..8192 back.
  void LongMatch(uint32_t distance, uint32_t length) {
    const uint32_t v = distance - 1;
    Bits("00");
    if (v < 512) {
      Bits("1"), Byte(v >> 1), Bits(v & 1, 1);
    } else if (v < 1024) {
      Bits("01"), Byte((v - 512) >> 1), Bits(v & 1, 1);
    } else if (v < 2048) {
      Bits("001"), Byte((v - 1024) >> 2), Bits(v & 3, 2);
    } else if (v < 4096) {
      Bits("0001"), Byte((v - 2048) >> 3), Bits(v & 7, 3);
    } else {
      Bits("0000"), Byte((v - 4096) >> 4), Bits(v & 15, 4);
    }
    if (length == 3) {
      Bits("1");
    } else if (length == 4) {
      Bits("01");
    } else if (length <= 6) {
      Bits("001"), Bits(length - 5, 1);
    } else if (length <= 10) {
      Bits("0001"), Bits(length - 7, 2);
    } else if (length <= 26) {
      Bits("00001"), Bits(length - 11, 4);
    } else {
      Bits("00000"), Byte(length - 27);
    }
  }
  void End() {
    Bits("011");
    Byte(0xFF);
    Bits("111");
  }
  void Literals(const Bytes& values) {
    for (uint8_t v : values) Literal(v);
  }

  const Bytes& stream() const { return stream_; }
  // Control bits already written into the current word (32: none left).
  int usedBits() const { return used_; }

 private:
  Bytes stream_;
  size_t wordAt_ = 0;
  int used_ = 32;
};

// Straightforward decoder kept apart from the product: bit by bit, byte by
// byte, every read and write bounded.
struct ReferenceResult {
  bool ended;
  size_t produced;
};

ReferenceResult ReferenceDecode(uint8_t* out, size_t outSize, const uint8_t* in, size_t inSize) {
  size_t position = 0, p = 0;
  uint32_t word = 0;
  int left = 0;
  bool ok = true;
  auto bit = [&]() -> uint32_t {
    if (left == 0) {
      if (inSize - position < 4) {
        ok = false;
        return 0;
      }
      word = uint32_t(in[position]) | uint32_t(in[position + 1]) << 8 |
             uint32_t(in[position + 2]) << 16 | uint32_t(in[position + 3]) << 24;
      position += 4;
      left = 32;
    }
    --left;
    return (word >> left) & 1;
  };
  auto bits = [&](int n) {
    uint32_t v = 0;
    while (n-- > 0 && ok) v = (v << 1) | bit();
    return v;
  };
  auto byte = [&]() -> uint32_t {
    if (position >= inSize) {
      ok = false;
      return 0;
    }
    return in[position++];
  };
  auto copy = [&](uint32_t distance, uint32_t length) {
    if (distance > p || length > outSize - p) return false;
    for (uint32_t i = 0; i < length; ++i, ++p) out[p] = out[p - distance];
    return true;
  };
  for (;;) {
    uint32_t b = bit();
    if (!ok) break;
    if (b) {
      uint32_t value = byte();
      if (!ok || p >= outSize) break;
      out[p++] = uint8_t(value);
      continue;
    }
    b = bit();
    if (!ok) break;
    if (b) {
      uint32_t wide = bit();
      if (!ok) break;
      uint32_t v = byte();
      if (wide) v = 256 + v * 8 + bits(3);
      if (!ok) break;
      if (v == 2303) return {true, p};
      if (!copy(v + 1, 2)) break;
      continue;
    }
    uint32_t v;
    if (bit()) {
      v = byte() * 2;
      v += bits(1);
    } else if (bit()) {
      v = 512 + byte() * 2;
      v += bits(1);
    } else if (bit()) {
      v = 1024 + byte() * 4;
      v += bits(2);
    } else if (bit()) {
      v = 2048 + byte() * 8;
      v += bits(3);
    } else {
      v = 4096 + byte() * 16;
      v += bits(4);
    }
    uint32_t length;
    if (bit()) {
      length = 3;
    } else if (bit()) {
      length = 4;
    } else if (bit()) {
      length = 5 + bits(1);
    } else if (bit()) {
      length = 7 + bits(2);
    } else if (bit()) {
      length = 11 + bits(4);
    } else {
      length = 27 + byte();
    }
    if (!ok || !copy(v + 1, length)) break;
  }
  return {false, p};
}

Bytes Hex(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }

Bytes Sequence(uint8_t first, size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = uint8_t(first + i);
  return out;
}

// A recognisable prefix for matches to copy from: no two bytes in a row
// repeat a short period.
Bytes Prefix(size_t count) {
  Bytes out(count);
  uint32_t x = 12345;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
  }
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Outcome {
  bool ended;
  size_t produced;
  Bytes destination;  // the whole destination after the call
};

// Decodes from an exact-size copy of the source (so a read past it is an
// overrun the sanitizers see) into a destination of `size` bytes filled with
// 0xCC beforehand.
Outcome Expand(const Bytes& stream, size_t size, size_t sourceSize) {
  Bytes source(stream.begin(), stream.begin() + sourceSize);
  Outcome o{false, 9999, Bytes(size, 0xCC)};
  o.ended = Decompress(o.destination.data(), size, source.data(), source.size(), &o.produced);
  return o;
}

Outcome Expand(const Bytes& stream, size_t size) { return Expand(stream, size, stream.size()); }

// ---- Sound streams: the output is exact, the rest of the destination kept.

struct SoundCase {
  std::string name;
  Bytes stream;
  Bytes output;
};

std::vector<SoundCase> SoundCases() {
  std::vector<SoundCase> cases;
  cases.push_back({"EndMarkerOnly", Hex({0x00, 0x00, 0x00, 0x7C, 0xFF}), {}});
  cases.push_back({"WorkedExample", Hex({0x00, 0xE0, 0x93, 0xC8, 0x41, 0x42, 0x00, 0x01, 0xFF}),
                   Hex({0x41, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42})});
  // Thirty literals, the short match's bits 0 1 end the first word; its third
  // bit opens the second word, which stands before the match's data byte.
  cases.push_back({"WordBetweenSelectorAndDataByte",
                   Concat(Concat(Hex({0xFD, 0xFF, 0xFF, 0xFF}), Sequence(0x61, 30)),
                          Hex({0x00, 0x00, 0x00, 0x3E, 0x00, 0xFF})),
                   Concat(Sequence(0x61, 30), Hex({0x7E, 0x7E}))});
  {
    StreamWriter w;
    w.Literals(Sequence(0, 32));
    w.End();
    cases.push_back({"ThirtyTwoLiteralsThenSecondWord", w.stream(), Sequence(0, 32)});
  }
  {
    // A long match's distance selector as the first bit of a new word.
    StreamWriter w;
    w.Literals(Sequence(0x30, 30));
    w.Bits("00");  // end of the first word
    w.Bits("1");   // selector: first bit of the second word, before the byte
    w.Byte(0x02);  // v = 2 * 2 + 1 = 5: distance 6
    w.Bits("1");
    w.Bits("1");  // length 3
    w.End();
    cases.push_back({"WordBetweenLongMatchSelectorAndByte", w.stream(),
                     Concat(Sequence(0x30, 30), Hex({0x48, 0x49, 0x4A}))});
  }
  {
    Bytes prefix = Prefix(2303);
    StreamWriter w;
    w.Literals(prefix);
    w.Bits("011");
    w.Byte(0xFF);
    w.Bits("110");  // v = 256 + 0xFF * 8 + 6 = 2302: distance 2303, not the end
    w.End();
    cases.push_back(
        {"WideShortMatchAtDistance2303", w.stream(), Concat(prefix, Hex({prefix[0], prefix[1]}))});
  }
  {
    Bytes prefix = Prefix(8192);
    StreamWriter w;
    w.Literals(prefix);
    w.Bits(
        "00"
        "0000");
    w.Byte(0xFF);
    w.Bits("1111");  // v = 4096 + 0xFF * 16 + 15 = 8191: distance 8192
    w.Bits("1");     // length 3
    w.End();
    cases.push_back({"LongMatchAtDistance8192", w.stream(),
                     Concat(prefix, Hex({prefix[0], prefix[1], prefix[2]}))});
  }
  {
    Bytes prefix = Prefix(300);
    StreamWriter w;
    w.Literals(prefix);
    w.Bits(
        "00"
        "1");
    w.Byte(0x95);
    w.Bits("1");  // v = 0x95 * 2 + 1 = 299: distance 300
    w.Bits("00000");
    w.Byte(0xFF);  // length 27 + 255 = 282
    w.End();
    Bytes expected = prefix;
    for (size_t i = 0; i < 282; ++i) expected.push_back(expected[expected.size() - 300]);
    cases.push_back({"LongMatchOfLength282", w.stream(), expected});
  }
  {
    StreamWriter w;
    w.Literal(0x5A);
    w.Bits(
        "00"
        "1");
    w.Byte(0x00);
    w.Bits("0");  // distance 1
    w.Bits("1");  // length 3
    w.End();
    cases.push_back({"SmallestLongMatch", w.stream(), Bytes(4, 0x5A)});
  }
  {
    // Every distance code and every length code once.
    Bytes prefix = Prefix(5000);
    StreamWriter w;
    w.Literals(prefix);
    Bytes expected = prefix;
    const uint32_t matches[][2] = {{1, 3},     {512, 4},   {513, 5},   {1024, 6},
                                   {1025, 7},  {2048, 10}, {2049, 11}, {4096, 26},
                                   {4097, 27}, {4999, 40}, {256, 2},   {257, 2}};
    for (const auto& m : matches) {
      if (m[1] == 2) {
        w.ShortMatch(m[0]);
      } else {
        w.LongMatch(m[0], m[1]);
      }
      for (uint32_t i = 0; i < m[1]; ++i) expected.push_back(expected[expected.size() - m[0]]);
    }
    w.End();
    cases.push_back({"EveryDistanceAndLengthCode", w.stream(), expected});
  }
  return cases;
}

class DecompressSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(DecompressSound, ExactOutputAndTheRestUntouched) {
  const SoundCase& c = GetParam();
  for (size_t spare : {size_t(0), size_t(1), size_t(300)}) {
    Outcome o = Expand(c.stream, c.output.size() + spare);
    ASSERT_TRUE(o.ended) << "spare " << spare;
    EXPECT_EQ(c.output.size(), o.produced);
    EXPECT_EQ(Concat(c.output, Bytes(spare, 0xCC)), o.destination) << "spare " << spare;
  }
}

TEST_P(DecompressSound, EveryShorterSourceFails) {
  const SoundCase& c = GetParam();
  for (size_t length = 0; length < c.stream.size(); ++length) {
    Outcome o = Expand(c.stream, c.output.size() + 300, length);
    ASSERT_FALSE(o.ended) << "source cut to " << length;
    ASSERT_LE(o.produced, c.output.size());
    EXPECT_TRUE(
        std::equal(o.destination.begin(), o.destination.begin() + o.produced, c.output.begin()))
        << "source cut to " << length;
    EXPECT_TRUE(std::all_of(o.destination.begin() + o.produced, o.destination.end(),
                            [](uint8_t b) { return b == 0xCC; }))
        << "source cut to " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, DecompressSound, ::testing::ValuesIn(SoundCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Decompress, WriterMakesTheLiteralExamplesByteForByte) {
  StreamWriter end;
  end.End();
  EXPECT_EQ(Hex({0x00, 0x00, 0x00, 0x7C, 0xFF}), end.stream());

  StreamWriter worked;
  worked.Literals({0x41, 0x42});
  worked.LongMatch(1, 5);
  worked.ShortMatch(2);
  worked.End();
  EXPECT_EQ(Hex({0x00, 0xE0, 0x93, 0xC8, 0x41, 0x42, 0x00, 0x01, 0xFF}), worked.stream());

  StreamWriter forty;
  forty.Literals(Sequence(0x61, 30));
  forty.ShortMatch(1);
  forty.End();
  ASSERT_EQ(40u, forty.stream().size());
  EXPECT_EQ(Hex({0xFD, 0xFF, 0xFF, 0xFF}),
            Bytes(forty.stream().begin(), forty.stream().begin() + 4));
  EXPECT_EQ(Hex({0x00, 0x00, 0x00, 0x3E, 0x00, 0xFF}),
            Bytes(forty.stream().begin() + 34, forty.stream().end()));
}

TEST(Decompress, ThirtyThirdTokenReadsTheSecondWordBehindTheLiterals) {
  StreamWriter w;
  w.Literals(Sequence(0x80, 33));
  w.End();
  const Bytes& s = w.stream();
  ASSERT_EQ(4u + 32 + 4 + 1 + 1, s.size());
  EXPECT_EQ(Hex({0xFF, 0xFF, 0xFF, 0xFF}), Bytes(s.begin(), s.begin() + 4));
  EXPECT_EQ(Sequence(0x80, 32), Bytes(s.begin() + 4, s.begin() + 36));
  Outcome o = Expand(s, 33);
  ASSERT_TRUE(o.ended);
  EXPECT_EQ(Sequence(0x80, 33), o.destination);
}

// Matches at distances 1, 2 and 3 repeat the last bytes and write exactly
// their length, with short matches (length 2) and long ones (3 to 40).
TEST(Decompress, ShortDistancesRepeatTheirPattern) {
  const Bytes seed = Hex({0x11, 0x22, 0x33});
  for (uint32_t distance = 1; distance <= 3; ++distance) {
    for (uint32_t length = 2; length <= 40; ++length) {
      StreamWriter w;
      w.Literals(seed);
      if (length == 2) {
        w.ShortMatch(distance);
      } else {
        w.LongMatch(distance, length);
      }
      w.Literal(0xEE);
      w.End();
      Bytes expected = seed;
      for (uint32_t i = 0; i < length; ++i) {
        expected.push_back(seed[3 - distance + i % distance]);
      }
      expected.push_back(0xEE);
      Outcome o = Expand(w.stream(), expected.size() + 16);
      ASSERT_TRUE(o.ended) << distance << "/" << length;
      EXPECT_EQ(Concat(expected, Bytes(16, 0xCC)), o.destination) << distance << "/" << length;
    }
  }
}

// ---- Malformed streams: false, the whole tokens before the fault decoded,
// nothing written behind them.

struct MalformedCase {
  std::string name;
  Bytes stream;
  size_t destinationSize;
  size_t produced;
};

std::vector<MalformedCase> MalformedCases() {
  std::vector<MalformedCase> cases;
  {
    StreamWriter w;
    w.Literals(Sequence(1, 5));
    w.End();
    cases.push_back({"LiteralPastTheEnd", w.stream(), 4, 4});
  }
  {
    StreamWriter w;
    w.Literals(Sequence(1, 40));
    w.End();
    cases.push_back({"LiteralRunPastTheEnd", w.stream(), 37, 37});
  }
  {
    StreamWriter w;
    w.Literals(Sequence(1, 4));
    w.LongMatch(4, 282);
    w.End();
    cases.push_back({"LongMatchPastTheEnd", w.stream(), 285, 4});
  }
  {
    StreamWriter w;
    w.Literal(7);
    w.ShortMatch(1);
    w.End();
    cases.push_back({"ShortMatchPastTheEnd", w.stream(), 2, 1});
  }
  {
    StreamWriter w;
    w.ShortMatch(1);
    w.End();
    cases.push_back({"MatchAsTheFirstToken", w.stream(), 16, 0});
  }
  {
    StreamWriter w;
    w.Literals(Sequence(1, 10));
    w.LongMatch(11, 3);
    w.End();
    cases.push_back({"LongMatchBeforeTheStart", w.stream(), 64, 10});
  }
  {
    StreamWriter w;
    w.Literals(Prefix(600));
    w.ShortMatch(601);
    w.End();
    cases.push_back({"WideShortMatchBeforeTheStart", w.stream(), 700, 600});
  }
  {
    StreamWriter w;
    w.Literals(Prefix(8000));
    w.LongMatch(8192, 100);
    w.End();
    cases.push_back({"FarLongMatchBeforeTheStart", w.stream(), 9000, 8000});
  }
  {
    StreamWriter w;
    w.Literals(Sequence(1, 3));
    cases.push_back({"NoEndMarker", w.stream(), 16, 3});
  }
  cases.push_back({"EmptySource", {}, 16, 0});
  return cases;
}

class DecompressMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(DecompressMalformed, FailsWithTheWholeTokensDecoded) {
  const MalformedCase& c = GetParam();
  // The destination block is exactly the size given: a write past it is an
  // overrun the sanitizers report.
  Outcome o = Expand(c.stream, c.destinationSize);
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(c.produced, o.produced);
  Bytes reference(c.destinationSize, 0xCC);
  ReferenceDecode(reference.data(), reference.size(), c.stream.data(), c.stream.size());
  EXPECT_EQ(reference, o.destination);
  EXPECT_TRUE(std::all_of(o.destination.begin() + o.produced, o.destination.end(),
                          [](uint8_t b) { return b == 0xCC; }));
}

INSTANTIATE_TEST_SUITE_P(Streams, DecompressMalformed, ::testing::ValuesIn(MalformedCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Decompress, ProducedMayBeOmitted) {
  Bytes out(1, 0xCC);
  const Bytes end = Hex({0x00, 0x00, 0x00, 0x7C, 0xFF});
  EXPECT_TRUE(Decompress(out.data(), out.size(), end.data(), end.size(), nullptr));
  EXPECT_FALSE(Decompress(out.data(), out.size(), end.data(), 4, nullptr));
  EXPECT_EQ(0xCC, out[0]);
}

// ---- Random streams against the reference decoder.

// Random sound streams shaped like real data: literal runs, short and long
// matches at every distance range, long runs of short-distance patterns.
Bytes RandomStream(std::mt19937& random, size_t targetSize, Bytes* expected) {
  StreamWriter w;
  expected->clear();
  auto pick = [&](uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
  };
  while (expected->size() < targetSize) {
    const size_t p = expected->size();
    const uint32_t kind = p == 0 ? 0 : pick(0, 9);
    if (kind <= 3) {
      for (uint32_t n = pick(1, 40); n > 0; --n) {
        uint8_t v = uint8_t(pick(0, 3) == 0 ? pick(0, 255) : pick('a', 'h'));
        w.Literal(v);
        expected->push_back(v);
      }
      continue;
    }
    uint32_t distance, length;
    if (kind == 4) {
      distance = pick(1, uint32_t(std::min<size_t>(p, 2303)));
      length = 2;
      w.ShortMatch(distance);
    } else {
      const uint32_t far = uint32_t(std::min<size_t>(p, 8192));
      distance = kind == 5   ? pick(1, std::min<uint32_t>(far, 3))
                 : kind == 6 ? pick(1, std::min<uint32_t>(far, 20))
                             : pick(1, far);
      length = pick(0, 3) == 0 ? pick(27, 282) : pick(3, 26);
      w.LongMatch(distance, length);
    }
    for (uint32_t i = 0; i < length; ++i)
      expected->push_back((*expected)[expected->size() - distance]);
  }
  w.End();
  return w.stream();
}

TEST(Decompress, RandomStreamsMatchTheReference) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    const size_t target = round < 100 ? size_t(round * 7) : size_t(1000 + round * 97);
    Bytes expected;
    const Bytes stream = RandomStream(random, target, &expected);
    // The exact size, a little room to spare, and every size cut short near
    // the end of the output, where decoding leaves its unchecked mode.
    std::vector<size_t> sizes = {expected.size(), expected.size() + 1, expected.size() + 400};
    for (size_t cut = 1; cut <= 300 && cut <= expected.size(); cut += (cut < 40 ? 1 : 13)) {
      sizes.push_back(expected.size() - cut);
    }
    for (size_t size : sizes) {
      Outcome o = Expand(stream, size);
      Bytes reference(size, 0xCC);
      ReferenceResult r = ReferenceDecode(reference.data(), size, stream.data(), stream.size());
      ASSERT_EQ(r.ended, o.ended) << "round " << round << " size " << size;
      ASSERT_EQ(r.produced, o.produced) << "round " << round << " size " << size;
      ASSERT_EQ(reference, o.destination) << "round " << round << " size " << size;
      if (size >= expected.size()) {
        ASSERT_TRUE(o.ended);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), o.destination.begin()));
      }
    }
  }
}

TEST(Decompress, RandomSourceCutsMatchTheReference) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    Bytes expected;
    const Bytes stream = RandomStream(random, 600 + round * 31, &expected);
    for (size_t length = 0; length < stream.size(); length += 1 + length / 64) {
      Outcome o = Expand(stream, expected.size(), length);
      Bytes reference(expected.size(), 0xCC);
      ReferenceResult r =
          ReferenceDecode(reference.data(), reference.size(), stream.data(), length);
      ASSERT_FALSE(o.ended);
      ASSERT_EQ(r.produced, o.produced) << "round " << round << " cut " << length;
      ASSERT_EQ(reference, o.destination) << "round " << round << " cut " << length;
    }
  }
}

TEST(Decompress, RandomBytesMatchTheReference) {
  std::mt19937 random(99);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream(std::uniform_int_distribution<size_t>(0, 600)(random));
    for (size_t i = 0; i < stream.size(); ++i) stream[i] = uint8_t(random());
    // Half the streams open with four literals, so that matches find history.
    if (stream.size() >= 4 && round % 2) stream[3] |= 0xF0;
    const size_t size = std::uniform_int_distribution<size_t>(0, 2000)(random);
    Outcome o = Expand(stream, size);
    Bytes reference(size, 0xCC);
    ReferenceResult r = ReferenceDecode(reference.data(), size, stream.data(), stream.size());
    ASSERT_EQ(r.ended, o.ended) << "round " << round;
    ASSERT_EQ(r.produced, o.produced) << "round " << round;
    ASSERT_EQ(reference, o.destination) << "round " << round;
  }
}

// ---- Tokens at every place in their control word, compared with the
// reference decoder: far from both ends (the unchecked mode) and at the end
// of the destination (the bounded one).

// Decodes `stream` into blocks of the expected size and of a little more,
// and into one a byte short; all three must agree with the reference.
void ExpectLikeTheReference(const Bytes& stream, const Bytes& expected, const std::string& what) {
  for (size_t size : {expected.size(), expected.size() + 40, expected.size() - 1}) {
    if (size == size_t(-1)) continue;
    Outcome o = Expand(stream, size);
    Bytes reference(size, 0xCC);
    const ReferenceResult r = ReferenceDecode(reference.data(), size, stream.data(), stream.size());
    ASSERT_EQ(r.ended, o.ended) << what << ", size " << size;
    ASSERT_EQ(r.produced, o.produced) << what << ", size " << size;
    ASSERT_EQ(reference, o.destination) << what << ", size " << size;
    if (size >= expected.size()) {
      ASSERT_TRUE(o.ended) << what;
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), o.destination.begin())) << what;
    }
  }
}

struct TokenKind {
  const char* name;
  uint32_t distance;
  uint32_t length;  // 2: a short match
};

// Every distance code and every length code, short and wide short matches.
// clang-format off
const TokenKind kTokenKinds[] = {
    {"short", 200, 2},      {"wide short", 2000, 2}, {"short 2303", 2303, 2},
    {"d1 l3", 1, 3},        {"d512 l4", 512, 4},     {"d600 l6", 600, 6},
    {"d1024 l10", 1024, 10}, {"d1500 l26", 1500, 26}, {"d2048 l27", 2048, 27},
    {"d3000 l282", 3000, 282}, {"d4096 l11", 4096, 11}, {"d8192 l282", 8192, 282},
    {"d9 l16", 9, 16},      {"d16 l17", 16, 17},     {"d3 l40", 3, 40},
};
// clang-format on

// Writes the token and appends what it copies to `expected`.
void AppendToken(const TokenKind& kind, StreamWriter* w, Bytes* expected) {
  if (kind.length == 2) {
    w->ShortMatch(kind.distance);
  } else {
    w->LongMatch(kind.distance, kind.length);
  }
  for (uint32_t i = 0; i < kind.length; ++i) {
    expected->push_back((*expected)[expected->size() - kind.distance]);
  }
}

TEST(Decompress, EveryTokenAtEveryBitOfItsControlWord) {
  // History for the farthest distance, then literals until the token's first
  // bit falls at the wanted place in its word.
  StreamWriter history;
  Bytes historyBytes = Prefix(8200);
  history.Literals(historyBytes);
  for (const TokenKind& kind : kTokenKinds) {
    for (int place = 0; place < 32; ++place) {
      for (size_t tail : {size_t(0), size_t(400)}) {
        StreamWriter w = history;
        Bytes expected = historyBytes;
        while (w.usedBits() % 32 != place) {
          w.Literal(uint8_t(expected.size()));
          expected.push_back(uint8_t(expected.size()));
        }
        AppendToken(kind, &w, &expected);
        const Bytes tailBytes = Sequence(0x40, tail);
        w.Literals(tailBytes);
        expected = Concat(expected, tailBytes);
        w.End();
        ExpectLikeTheReference(w.stream(), expected,
                               std::string(kind.name) + " at bit " + std::to_string(place) +
                                   ", tail " + std::to_string(tail));
      }
    }
  }
}

TEST(Decompress, LiteralRunsOfEveryLengthFromEveryBitOfTheirWord) {
  StreamWriter history;
  Bytes historyBytes = Prefix(100);
  history.Literals(historyBytes);
  for (int place = 0; place < 32; ++place) {
    for (size_t run = 0; run <= 40; ++run) {
      for (size_t tail : {size_t(0), size_t(400)}) {
        StreamWriter w = history;
        Bytes expected = historyBytes;
        while (w.usedBits() % 32 != place) {
          w.Literal(0x11);
          expected.push_back(0x11);
        }
        const Bytes runBytes = Sequence(uint8_t(0x80 + run), run);
        w.Literals(runBytes);
        expected = Concat(expected, runBytes);
        w.LongMatch(7, 9);
        for (int i = 0; i < 9; ++i) expected.push_back(expected[expected.size() - 7]);
        const Bytes tailBytes = Sequence(0x20, tail);
        w.Literals(tailBytes);
        expected = Concat(expected, tailBytes);
        w.End();
        ExpectLikeTheReference(w.stream(), expected,
                               "run " + std::to_string(run) + " from bit " + std::to_string(place) +
                                   ", tail " + std::to_string(tail));
      }
    }
  }
}

// Matches that copy from the first byte of the block and end exactly at its
// end, with and without a long stretch of output around them.
TEST(Decompress, MatchesFromTheFirstByteToTheLastOfTheBlock) {
  const uint32_t distances[] = {1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 31, 32, 33, 300};
  const uint32_t lengths[] = {2, 3, 4, 7, 8, 9, 15, 16, 17, 31, 32, 33, 40, 100, 282};
  for (uint32_t distance : distances) {
    for (uint32_t length : lengths) {
      for (size_t between : {size_t(0), size_t(500)}) {
        StreamWriter w;
        Bytes expected = Prefix(distance);
        w.Literals(expected);
        const auto match = [&]() {
          if (length == 2) {
            w.ShortMatch(distance);
          } else {
            w.LongMatch(distance, length);
          }
          for (uint32_t i = 0; i < length; ++i) {
            expected.push_back(expected[expected.size() - distance]);
          }
        };
        match();  // from the first byte of the block
        const Bytes middle = Prefix(between);
        w.Literals(middle);
        expected = Concat(expected, middle);
        match();  // up to the last byte of the block
        w.End();
        ExpectLikeTheReference(w.stream(), expected,
                               "distance " + std::to_string(distance) + " length " +
                                   std::to_string(length) + " between " + std::to_string(between));
      }
    }
  }
}

// The packer's own streams, from inputs shaped to give every kind of token:
// text from a small alphabet, runs, repeated blocks, noise.
Bytes PackerInput(std::mt19937& random, size_t size) {
  auto pick = [&](uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
  };
  Bytes out;
  while (out.size() < size) {
    switch (pick(0, 4)) {
      case 0:
        for (uint32_t n = pick(1, 200); n > 0; --n) out.push_back(uint8_t(pick('a', 'k')));
        break;
      case 1: out.insert(out.end(), pick(1, 300), uint8_t(pick(0, 255))); break;
      case 2:
        if (!out.empty()) {
          const size_t back = pick(1, uint32_t(std::min<size_t>(out.size(), 9000)));
          for (uint32_t n = pick(2, 400); n > 0; --n) out.push_back(out[out.size() - back]);
        }
        break;
      default:
        for (uint32_t n = pick(1, 100); n > 0; --n) out.push_back(uint8_t(pick(0, 255)));
    }
  }
  out.resize(size);
  return out;
}

TEST(Decompress, PackerStreamsGiveTheirInputBack) {
  std::mt19937 random(31337);
  for (int round = 0; round < 40; ++round) {
    const size_t size = round < 20 ? size_t(round * 37)
                                   : std::uniform_int_distribution<size_t>(1000, 40000)(random);
    const Bytes input = PackerInput(random, size);
    const Bytes stream = CompressStream(input.data(), input.size());
    ExpectLikeTheReference(stream, input, "round " + std::to_string(round));
  }
}

// ---- Streams long enough for the block decoder: tokens across the
// boundaries of its blocks, hand-offs to the bounded decoder at every place.

using decode_limits::kBlockWords;

// The word that the k-th block boundary falls on (the last word of block k-1,
// where block k starts again).
size_t BoundaryWord(size_t k) { return k * (kBlockWords - 1); }

// A destination whose bytes differ from place to place, so that a byte put
// back at the wrong place behind the output shows.
Bytes Patterned(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = uint8_t(i * 37 + (i >> 8) + 11);
  return out;
}

// Like Expand, into a patterned destination.
Outcome ExpandPatterned(const Bytes& stream, size_t size, size_t sourceSize) {
  Bytes source(stream.begin(), stream.begin() + sourceSize);
  Outcome o{false, 9999, Patterned(size)};
  o.ended = Decompress(o.destination.data(), size, source.data(), source.size(), &o.produced);
  return o;
}

// Compares the decoder with the reference for every destination size in
// [from, to], both decoding into patterned destinations, from the first
// `sourceSize` bytes of the stream.
void ExpectEverySizeLikeTheReference(const Bytes& stream, size_t sourceSize, size_t from, size_t to,
                                     const std::string& what) {
  for (size_t size = from; size <= to; ++size) {
    Outcome o = ExpandPatterned(stream, size, sourceSize);
    Bytes reference = Patterned(size);
    const ReferenceResult r = ReferenceDecode(reference.data(), size, stream.data(), sourceSize);
    ASSERT_EQ(r.ended, o.ended) << what << ", size " << size;
    ASSERT_EQ(r.produced, o.produced) << what << ", size " << size;
    ASSERT_EQ(reference, o.destination) << what << ", size " << size;
  }
}

// Every token kind starting at every bit of the words around a block
// boundary: in the word before the block's last word (reaching into it), in
// the last word, and in the word after it.
TEST(DecompressBlocks, EveryTokenKindAcrossABlockBoundary) {
  for (const TokenKind& kind : kTokenKinds) {
    StreamWriter history;
    const Bytes historyBytes = Prefix(kind.distance);
    history.Literals(historyBytes);
    size_t k = 1;
    while (BoundaryWord(k) < history.stream().size() / 4 + 2) ++k;
    for (size_t word = BoundaryWord(k) - 1; word <= BoundaryWord(k) + 1; ++word) {
      for (int place = 0; place < 32; ++place) {
        StreamWriter w = history;
        Bytes expected = historyBytes;
        // Literals until the token's first bit is bit `place` of word `word`:
        // a literal takes one bit, so words fill 32 literals at a time.
        const size_t bitsBefore = word * 32 + size_t(place);
        while (expected.size() < bitsBefore) {
          w.Literal(uint8_t(expected.size() * 7));
          expected.push_back(uint8_t(expected.size() * 7));
        }
        AppendToken(kind, &w, &expected);
        const Bytes tail = Sequence(0x40, 400);
        w.Literals(tail);
        expected = Concat(expected, tail);
        w.End();
        ExpectLikeTheReference(w.stream(), expected,
                               std::string(kind.name) + " in word " + std::to_string(word) +
                                   " at bit " + std::to_string(place));
      }
    }
  }
}

// The output's end reached at every literal and token boundary of the last
// few hundred bytes, for streams of several blocks: literal runs crossing
// many blocks, and random tokens.
TEST(DecompressBlocks, HandOffAtEveryBoundaryNearTheOutputEnd) {
  std::mt19937 random(4242);
  struct Shape {
    const char* name;
    size_t literals;  // a run of literals first
    size_t tokens;    // then random tokens for about this many bytes
  };
  const Shape shapes[] = {{"literals across many blocks", 5 * 32 * kBlockWords, 0},
                          {"literals, then tokens", 40 * 32, 6000},
                          {"tokens only", 1, 12000}};
  for (const Shape& shape : shapes) {
    StreamWriter w;
    Bytes expected = Prefix(shape.literals);
    w.Literals(expected);
    auto pick = [&](uint32_t low, uint32_t high) {
      return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    while (expected.size() < shape.literals + shape.tokens) {
      const uint32_t kind = expected.size() < 300 ? 0 : pick(0, 3);
      if (kind == 0) {
        const uint8_t value = uint8_t(pick(0, 255));
        w.Literal(value);
        expected.push_back(value);
        continue;
      }
      const uint32_t distance = pick(1, 300);
      const uint32_t length = kind == 1 ? 2 : pick(3, 40);
      if (length == 2) {
        w.ShortMatch(distance);
      } else {
        w.LongMatch(distance, length);
      }
      for (uint32_t j = 0; j < length; ++j)
        expected.push_back(expected[expected.size() - distance]);
    }
    w.End();
    const size_t total = expected.size();
    // Short by up to 400 bytes, or longer by up to the room the block
    // decoder keeps: the hand-off comes at every boundary of the last
    // bytes, and the stream may end right after it.
    // With further words behind the end marker the source never runs short
    // first, and the hand-off comes from the output's end alone.
    Bytes followed = w.stream();
    for (int i = 0; i < 200; ++i) followed.push_back(uint8_t(random() & 0x1F));
    for (const Bytes* stream : {&w.stream(), static_cast<const Bytes*>(&followed)}) {
      ExpectEverySizeLikeTheReference(*stream, stream->size(), total - 400, total + 320,
                                      shape.name);
    }
    Outcome o = Expand(w.stream(), total);
    ASSERT_TRUE(o.ended) << shape.name;
    EXPECT_EQ(expected, o.destination) << shape.name;
  }
}

// A stream's end marker followed by further words: whatever follows is
// never taken, and the bytes behind the output keep their values. The end
// marker comes after random tokens, and after literal runs that end at
// every bit around a block boundary.
TEST(DecompressBlocks, GarbageAfterTheEndMarkerIsIgnored) {
  std::mt19937 random(77);
  auto expectIgnored = [&](Bytes stream, const Bytes& expected, const std::string& what) {
    const size_t garbage = std::uniform_int_distribution<size_t>(1, 3000)(random);
    const bool matchShaped = random() % 3 != 0;
    for (size_t i = 0; i < garbage; ++i) {
      // Mostly match-shaped bits, so the split finds long tokens in them.
      stream.push_back(matchShaped ? uint8_t(random() & 0x1F) : uint8_t(random()));
    }
    for (size_t spare : {size_t(0), size_t(1000)}) {
      const size_t size = expected.size() + spare;
      Outcome o = ExpandPatterned(stream, size, stream.size());
      ASSERT_TRUE(o.ended) << what;
      ASSERT_EQ(expected.size(), o.produced) << what;
      Bytes whole = Patterned(size);
      std::copy(expected.begin(), expected.end(), whole.begin());
      ASSERT_EQ(whole, o.destination) << what;
    }
  };
  for (int round = 0; round < 60; ++round) {
    Bytes expected;
    const Bytes stream = RandomStream(random, 2000 + size_t(round) * 211, &expected);
    expectIgnored(stream, expected, "round " + std::to_string(round));
  }
  for (size_t k = 1; k <= 2; ++k) {
    const size_t boundary = BoundaryWord(k) * 32;
    for (size_t literals = boundary - 40; literals <= boundary + 40; ++literals) {
      StreamWriter w;
      const Bytes expected = Prefix(literals);
      w.Literals(expected);
      w.End();
      expectIgnored(w.stream(), expected, std::to_string(literals) + " literals");
    }
  }
}

// Words holding up to eleven match starts (short matches take three bits),
// between literals, far from the ends and up to the output's end.
TEST(DecompressBlocks, WordsFullOfMatches) {
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    StreamWriter w;
    Bytes expected = Prefix(300);
    w.Literals(expected);
    while (expected.size() < 20000) {
      const uint32_t matches = std::uniform_int_distribution<uint32_t>(1, 40)(random);
      for (uint32_t i = 0; i < matches; ++i) {
        const uint32_t distance = std::uniform_int_distribution<uint32_t>(1, 256)(random);
        w.ShortMatch(distance);
        for (int j = 0; j < 2; ++j) expected.push_back(expected[expected.size() - distance]);
      }
      const uint8_t literal = uint8_t(random());
      w.Literal(literal);
      expected.push_back(literal);
    }
    w.End();
    ExpectLikeTheReference(w.stream(), expected, "round " + std::to_string(round));
    ExpectEverySizeLikeTheReference(w.stream(), w.stream().size(), expected.size() - 340,
                                    expected.size() - 280, "round " + std::to_string(round));
  }
}

// Faults found while decoding block by block, far from both ends of the
// blocks: a match before the destination's start, a destination too small
// by far, a source cut at every byte around block boundaries.
TEST(DecompressBlocks, MalformedStreamsFarFromTheEnds) {
  struct Fault {
    const char* name;
    size_t literals;    // literals before the faulty match
    uint32_t distance;  // more than the literals: before the start
    uint32_t length;
  };
  const Fault faults[] = {{"short match", 2000, 2001, 2},
                          {"wide short match", 2000, 2101, 2},
                          {"long match", 5000, 5001, 40},
                          {"farthest long match", 8000, 8192, 282}};
  for (const Fault& f : faults) {
    StreamWriter w;
    w.Literals(Prefix(f.literals));
    if (f.length == 2) {
      w.ShortMatch(f.distance);
    } else {
      w.LongMatch(f.distance, f.length);
    }
    w.Literals(Prefix(9000));
    w.End();
    Outcome o = ExpandPatterned(w.stream(), 30000, w.stream().size());
    EXPECT_FALSE(o.ended) << f.name;
    EXPECT_EQ(f.literals, o.produced) << f.name;
    Bytes whole = Patterned(30000);
    const Bytes literals = Prefix(f.literals);
    std::copy(literals.begin(), literals.end(), whole.begin());
    EXPECT_EQ(whole, o.destination)
        << f.name << " first difference at "
        << std::mismatch(whole.begin(), whole.end(), o.destination.begin()).first - whole.begin();
  }

  std::mt19937 random(5);
  const Bytes input = PackerInput(random, 60000);
  const Bytes stream = CompressStream(input.data(), input.size());
  // Far too small destinations, and sources cut at every byte near the
  // first block boundaries and every 97th byte elsewhere.
  for (size_t size : {size_t(1000), size_t(20000), input.size() / 2}) {
    Outcome o = ExpandPatterned(stream, size, stream.size());
    EXPECT_FALSE(o.ended);
    Bytes reference = Patterned(size);
    const ReferenceResult r = ReferenceDecode(reference.data(), size, stream.data(), stream.size());
    EXPECT_EQ(r.produced, o.produced) << "size " << size;
    EXPECT_EQ(reference, o.destination) << "size " << size;
  }
  for (size_t cut = 0; cut < stream.size(); cut += (cut % 4000 < 1200 ? 1 : 97)) {
    Outcome o = ExpandPatterned(stream, input.size(), cut);
    Bytes reference = Patterned(input.size());
    const ReferenceResult r = ReferenceDecode(reference.data(), input.size(), stream.data(), cut);
    ASSERT_FALSE(o.ended) << "cut " << cut;
    ASSERT_EQ(r.produced, o.produced) << "cut " << cut;
    ASSERT_EQ(reference, o.destination) << "cut " << cut;
  }
}

// Random token streams and the packer's streams whose control words number
// around whole blocks, each at the exact size and cut short near its end.
TEST(DecompressBlocks, StreamsOfManySizesAroundTheBlockSize) {
  std::mt19937 random(2718);
  for (int round = 0; round < 120; ++round) {
    const size_t target = size_t(round) * 90 + 500;
    Bytes expected;
    Bytes stream;
    if (round % 2) {
      stream = RandomStream(random, target, &expected);
    } else {
      expected = PackerInput(random, target * 4);
      stream = CompressStream(expected.data(), expected.size());
    }
    ExpectLikeTheReference(stream, expected, "round " + std::to_string(round));
    for (size_t cut : {size_t(2), size_t(17), size_t(100), size_t(290), size_t(299), size_t(350)}) {
      if (cut > expected.size()) continue;
      ExpectEverySizeLikeTheReference(stream, stream.size(), expected.size() - cut,
                                      expected.size() - cut, "round " + std::to_string(round));
    }
  }
}

// ---- Decoding in pieces: the same output and the same verdict as
// Decompress into a block of the recorded size, whatever the pieces.

using decode_limits::kDecodeHistory;
using decode_limits::kMinDecodeSource;
using decode_limits::kMinDecodeWindow;

struct PieceOutcome {
  PieceStatus status;
  Bytes output;
};

// Decodes `stream` in pieces: source pieces of `pieceSize()` bytes (or the
// rest), each in a block of its own so that a read past it shows, and a
// window of `windowSize` bytes whose output is taken at every stop.
PieceOutcome DecodeInPieces(const Bytes& stream, uint64_t limit, size_t windowSize,
                            const std::function<size_t()>& pieceSize) {
  Bytes window(windowSize);
  PieceDecoder decoder(window.data(), window.size(), limit);
  PieceOutcome o{PieceStatus::kMalformed, {}};
  size_t at = 0;
  for (int calls = 0;; ++calls) {
    const size_t size = std::min(pieceSize(), stream.size() - at);
    const bool last = at + size == stream.size();
    const Bytes piece(stream.begin() + ptrdiff_t(at), stream.begin() + ptrdiff_t(at + size));
    size_t taken = SIZE_MAX;
    o.status = decoder.Decode(piece.data(), piece.size(), last, &taken);
    EXPECT_LE(taken, size);
    o.output.insert(o.output.end(), decoder.output(), decoder.output() + decoder.outputSize());
    decoder.TakeOutput();
    at += std::min(taken, size);
    if (o.status == PieceStatus::kEnded || o.status == PieceStatus::kMalformed) break;
    // Every stop but one for the source's end makes progress.
    if ((o.status == PieceStatus::kNeedSource && last) || calls > 100000) {
      ADD_FAILURE() << "the decoder stopped without progress";
      break;
    }
  }
  EXPECT_EQ(decoder.produced(), o.output.size());
  return o;
}

// What Decompress gives into a block of `limit` bytes: the verdict, and the
// bytes decoded up to where it stopped.
PieceOutcome DecodeWhole(const Bytes& stream, size_t limit) {
  Bytes block(limit);
  size_t produced = 0;
  const bool ended =
      Decompress(block.data(), block.size(), stream.data(), stream.size(), &produced);
  block.resize(produced);
  return {ended ? PieceStatus::kEnded : PieceStatus::kMalformed, block};
}

void ExpectPiecesLikeWhole(const Bytes& stream, size_t limit, size_t windowSize,
                           const std::function<size_t()>& pieceSize, const std::string& what) {
  const PieceOutcome whole = DecodeWhole(stream, limit);
  const PieceOutcome pieces = DecodeInPieces(stream, limit, windowSize, pieceSize);
  ASSERT_EQ(whole.status, pieces.status) << what;
  ASSERT_EQ(whole.output.size(), pieces.output.size()) << what;
  ASSERT_TRUE(whole.output == pieces.output)
      << what << ": first difference at "
      << std::mismatch(whole.output.begin(), whole.output.end(), pieces.output.begin()).first -
             whole.output.begin();
}

// Source pieces of the least size, of random sizes above it, and whole;
// windows of the least size, a little more, and large.
struct PieceShape {
  const char* name;
  size_t windowSize;
  size_t pieceLow, pieceHigh;
};

// clang-format off
const PieceShape kPieceShapes[] = {
    {"least window, least pieces", kMinDecodeWindow, kMinDecodeSource, kMinDecodeSource},
    {"least window, random pieces", kMinDecodeWindow + 7, kMinDecodeSource, 5 * kMinDecodeSource},
    {"large window, least pieces", 4 << 20, kMinDecodeSource, kMinDecodeSource + 3},
    {"large window, whole source", 4 << 20, SIZE_MAX, SIZE_MAX},
};
// clang-format on

std::function<size_t()> PieceSizes(const PieceShape& shape, std::mt19937& random) {
  return [&random, shape] {
    return std::uniform_int_distribution<size_t>(shape.pieceLow, shape.pieceHigh)(random);
  };
}

// Inputs that fill many windows: the packer's streams of text and noise,
// zeros that expand ninety times, a short period, and random token streams
// with matches at every distance.
TEST(DecompressPieces, SoundStreamsGiveTheirOutputWhateverThePieces) {
  std::mt19937 random(1234);
  struct Input {
    const char* name;
    Bytes data;
    Bytes stream;
  };
  std::vector<Input> inputs;
  auto packed = [&](const char* name, Bytes data) {
    Bytes stream = CompressStream(data.data(), data.size());
    inputs.push_back({name, std::move(data), std::move(stream)});
  };
  packed("text and noise", PackerInput(random, 3 << 20));
  packed("zeros", Bytes(6 << 20, 0));
  Bytes period(2 << 20);
  for (size_t i = 0; i < period.size(); ++i) period[i] = uint8_t("ABC"[i % 3]);
  packed("a period of three", period);
  Input tokens{"random tokens", {}, {}};
  tokens.stream = RandomStream(random, 2 << 20, &tokens.data);
  inputs.push_back(tokens);
  // Every pair of input and shape in the plain build; under the sanitizer,
  // every kSweepStride-th pair (each input and each shape still come up).
  size_t pair = 0;
  for (const Input& input : inputs) {
    for (const PieceShape& shape : kPieceShapes) {
      if (pair++ % kSweepStride != 0) continue;
      const std::string what = std::string(input.name) + ", " + shape.name;
      const PieceOutcome o = DecodeInPieces(input.stream, input.data.size(), shape.windowSize,
                                            PieceSizes(shape, random));
      ASSERT_EQ(PieceStatus::kEnded, o.status) << what;
      ASSERT_TRUE(input.data == o.output) << what;
    }
  }
}

// Matches that reach back the farthest, 8192 and 2303 bytes, across every
// place where the window slides: the history kept is exactly enough.
TEST(DecompressPieces, TheFarthestMatchesReachIntoTheHistoryAtEveryWindowEdge) {
  std::mt19937 random(99);
  StreamWriter w;
  Bytes expected;
  for (size_t i = 0; i < kDecodeHistory; ++i) {
    const uint8_t v = uint8_t(random());
    w.Literal(v);
    expected.push_back(v);
  }
  while (expected.size() < 3 * kMinDecodeWindow) {
    const uint32_t kind = random() % 4;
    const uint32_t distance = kind == 0 ? kMaxShortDistance : kMaxLongDistance;
    const uint32_t length = kind == 0 ? 2 : kind == 1 ? 3 + random() % 20 : kMaxLongLength;
    if (length == 2) {
      w.ShortMatch(distance);
    } else {
      w.LongMatch(distance, length);
    }
    for (uint32_t j = 0; j < length; ++j) expected.push_back(expected[expected.size() - distance]);
    const uint8_t v = uint8_t(random());
    w.Literal(v);
    expected.push_back(v);
  }
  w.End();
  for (const PieceShape& shape : kPieceShapes) {
    const PieceOutcome o =
        DecodeInPieces(w.stream(), expected.size(), shape.windowSize, PieceSizes(shape, random));
    ASSERT_EQ(PieceStatus::kEnded, o.status) << shape.name;
    ASSERT_TRUE(expected == o.output) << shape.name;
  }
}

// Near the output's end the checked decoder takes over, up to a block's
// literals before the end, and reads a byte of source for each literal: a
// least piece can run out under it inside a token, and it resumes at the
// token where it stopped.
TEST(DecompressPieces, TheCheckedEndResumesWhereAPieceRanOut) {
  using decode_limits::kBlockWords;
  using decode_limits::kDestinationMargin;
  std::mt19937 random(8);
  // Output left when the last block starts: more than its source piece
  // holds, yet within the hand-off's reach.
  const size_t blockOutput = (kBlockWords - 1) * 32;
  for (size_t rest = kMinDecodeSource * 32 / 36 - 4; rest < blockOutput + kDestinationMargin;
       rest += 5) {
    const size_t size = 2 * blockOutput + rest;
    Bytes expected(size);
    for (uint8_t& b : expected) b = uint8_t(random());
    StreamWriter w;
    w.Literals(expected);
    w.End();
    const size_t pieceSize = kMinDecodeSource + rest % 37;
    const PieceOutcome o =
        DecodeInPieces(w.stream(), size, kMinDecodeWindow, [&] { return pieceSize; });
    ASSERT_EQ(PieceStatus::kEnded, o.status) << "rest " << rest;
    ASSERT_TRUE(expected == o.output) << "rest " << rest;
  }
}

// Damaged streams fail where Decompress fails, with the same bytes before:
// bytes changed at random, sources cut short, matches before the start, and
// recorded sizes too small or larger than the output.
TEST(DecompressPieces, DamagedStreamsFailWhereDecompressFails) {
  std::mt19937 random(4711);
  const Bytes data = PackerInput(random, 900000);
  const Bytes stream = CompressStream(data.data(), data.size());
  for (int round = 0; round < 24; ++round) {
    const PieceShape& shape = kPieceShapes[size_t(round) % std::size(kPieceShapes)];
    Bytes damaged = stream;
    size_t limit = data.size();
    std::string what = std::string(shape.name) + ", round " + std::to_string(round);
    switch (round % 4) {
      case 0:
        for (int flips = 0; flips < 3; ++flips)
          damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
        what += ": bytes changed";
        break;
      case 1:
        damaged.resize(random() % damaged.size());
        what += ": cut short";
        break;
      case 2:
        limit = random() % data.size();
        what += ": recorded size too small";
        break;
      default: limit = data.size() + random() % 5000; what += ": recorded size larger";
    }
    ExpectPiecesLikeWhole(damaged, limit, shape.windowSize, PieceSizes(shape, random), what);
  }
  // A match from before the start, in the first window and the checked end.
  for (const uint32_t literals : {uint32_t(10), uint32_t(5000)}) {
    StreamWriter w;
    w.Literals(Prefix(literals));
    w.LongMatch(literals + 1, 40);
    w.Literals(Prefix(20000));
    w.End();
    for (const PieceShape& shape : kPieceShapes) {
      ExpectPiecesLikeWhole(w.stream(), 30000, shape.windowSize, PieceSizes(shape, random),
                            std::string("a match before the start, ") + shape.name);
    }
  }
}

}  // namespace
