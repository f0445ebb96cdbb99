#include "bench/sample_data.h"

#include <cmath>
#include <fstream>
#include <iterator>

#include "host/codepage.h"

namespace {

// A fixed generator, so that the samples are the same with every library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state_ >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

const char* const kNames[] = {"春香", "千早", "雪歩", "先生", "少年", "店主", "母"};
const char* const kWords[] = {
    "今日",   "は",     "とても",   "静か",       "な",     "朝",     "です",   "ね",
    "学校",   "に",     "行く",     "の",         "が",     "を",     "まだ",   "少し",
    "早い",   "と",     "思う",     "けど",       "あの",   "日",     "約束",   "した",
    "場所",   "で",     "待って",   "いる",       "から",   "本当",   "に",     "ありがとう",
    "ござい", "ます",   "夕焼け",   "空",         "風",     "桜",     "の",     "花びら",
    "舞う",   "手紙",   "秘密",     "思い出",     "忘れ",   "ない",   "で",     "ください",
    "もう",   "一度",   "会い",     "たい",       "私",     "あなた", "僕",     "君",
    "彼女",   "誰",     "何",       "どうして",   "ずっと", "一緒",   "ゲーム", "データ",
    "セーブ", "ロード", "メニュー", "コンフィグ", "音量",   "画面"};
const char* const kEndings[] = {"。", "……", "！", "？", "、"};

std::string Line(Random& r) {
  std::string utf8;
  switch (r.Below(8)) {
    case 0:
      utf8 = "#bg " + std::to_string(r.Below(60)) + " fade " + std::to_string(r.Below(5) * 100);
      break;
    case 1:
      utf8 = "#bgm " + std::to_string(r.Below(24)) + "\r\n#wait " + std::to_string(r.Below(3000));
      break;
    default: {
      utf8 = std::string("【") + kNames[r.Below(7)] + "】「";
      for (int sentence = 1 + int(r.Below(3)); sentence > 0; --sentence) {
        for (int w = 2 + int(r.Below(9)); w > 0; --w) {
          utf8 += kWords[r.Below(sizeof kWords / sizeof *kWords)];
        }
        utf8 += kEndings[r.Below(5)];
      }
      utf8 += "」";
    }
  }
  return utf8 + "\r\n";
}

}  // namespace

Sample ScriptTextSample(size_t size) {
  Random r(1);
  std::string sjis;
  int scene = 0;
  while (sjis.size() < size) {
    std::string line = r.Below(40) == 0 ? "*scene_" + std::to_string(scene++) + "\r\n" : Line(r);
    std::string converted;
    Utf8ToCp932(line, &converted);
    sjis += converted;
  }
  sjis.resize(size);
  return {"script", "Shift-JIS dialogue from a word list",
          std::vector<uint8_t>(sjis.begin(), sjis.end())};
}

Sample BitmapSample(int width, int height) {
  const uint32_t stride = uint32_t(width) * 3;
  const uint32_t imageSize = stride * uint32_t(height);
  std::vector<uint8_t> bmp(54 + imageSize, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = uint8_t(v >> (8 * i));
  };
  bmp[0] = 'B', bmp[1] = 'M';
  put32(2, uint32_t(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  bmp[26] = 1, bmp[28] = 24;
  put32(34, imageSize);

  Random r(2);
  struct Disc {
    double x, y, radius;
    uint8_t b, g, red;
  };
  std::vector<Disc> discs;
  for (int i = 0; i < 12; ++i) {
    discs.push_back({double(r.Below(uint32_t(width))), double(r.Below(uint32_t(height))),
                     20.0 + r.Below(uint32_t(height / 4)), uint8_t(r.Next()), uint8_t(r.Next()),
                     uint8_t(r.Next())});
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bmp.data() + 54 + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      // Sky gradient, then flat discs with a one-pixel soft edge.
      double b = 255.0 * y / height, g = 160.0 + 60.0 * y / height, red = 90.0;
      for (const Disc& d : discs) {
        double edge = d.radius - std::hypot(x - d.x, y - d.y);
        if (edge <= 0) continue;
        double a = edge >= 1 ? 1.0 : edge;
        b = b * (1 - a) + d.b * a, g = g * (1 - a) + d.g * a, red = red * (1 - a) + d.red * a;
      }
      // The lower right quarter is photo-like: fine noise over the colours.
      if (x > width / 2 && y < height / 2) {
        int n = int(r.Below(9)) - 4;
        b += n, g += n, red += n;
      }
      auto clamp = [](double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
      row[3 * x] = clamp(b), row[3 * x + 1] = clamp(g), row[3 * x + 2] = clamp(red);
    }
  }
  return {"bitmap", std::to_string(width) + "x" + std::to_string(height) + " 24-bit BMP",
          std::move(bmp)};
}

Sample CodeSample() {
  for (const char* path : {"/bin/bash", "/proc/self/exe"}) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (!bytes.empty()) return {"code", std::string("x86-64 code from ") + path, bytes};
  }
  return {"code", "none found", {}};
}

Sample AudioSample(size_t size) {
  Random r(3);
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  uint32_t page = 0;
  while (bytes.size() < size) {
    // A 27-byte page header, mostly constant, then 4069 bytes of payload.
    const uint8_t header[] = {'O',
                              'g',
                              'g',
                              'S',
                              0,
                              0,
                              uint8_t(page),
                              uint8_t(page >> 8),
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0x3C,
                              0x7A,
                              0x01,
                              0x00,
                              uint8_t(page),
                              uint8_t(page >> 8),
                              0,
                              0,
                              uint8_t(r.Next()),
                              uint8_t(r.Next()),
                              uint8_t(r.Next()),
                              uint8_t(r.Next()),
                              17};
    bytes.insert(bytes.end(), std::begin(header), std::end(header));
    for (int i = 0; i < 4096 - 27; ++i) bytes.push_back(uint8_t(r.Next()));
    ++page;
  }
  bytes.resize(size);
  return {"audio", "Ogg-like pages of high-entropy payload", std::move(bytes)};
}

Sample ZerosSample(size_t size) { return {"zeros", "zeros", std::vector<uint8_t>(size, 0)}; }

Sample PeriodSample(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t("AB"[i % 2]);
  return {"period", "\"AB\" repeated", std::move(bytes)};
}

Sample RunsInNoiseSample(size_t size) {
  Random r(5);
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    for (int i = 0; i < 3000; ++i) bytes.push_back(uint8_t(r.Next()));
    bytes.insert(bytes.end(), 20000, uint8_t(r.Next()));
  }
  bytes.resize(size);
  return {"runs", "runs of 20000 between 3000 bytes of noise", std::move(bytes)};
}
