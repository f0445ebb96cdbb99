// Deterministic stand-ins for the files a game update carries: the same
// bytes on every run and every machine (apart from the code sample, which
// is a system binary).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Sample {
  std::string name;
  std::string origin;  // how it was made, for the report
  std::vector<uint8_t> bytes;
};

// Scenario script text in Shift-JIS: dialogue lines made from a word list,
// speaker names and script commands.
Sample ScriptTextSample(size_t size);

// Uncompressed 24-bit bitmaps with a BMP header: gradients, flat shapes with
// soft edges and a noisy photo-like area.
Sample BitmapSample(int width, int height);

// x86-64 machine code: the bytes of /bin/bash, or of this program when that
// is missing.
Sample CodeSample();

// Already-compressed audio: pages with a small repeating header and
// high-entropy payload.
Sample AudioSample(size_t size);

// Repetitive inputs, where the packer's exact pass gives up within its
// budget and keeps the least-cost parse: zeros, a two-byte period, and
// long runs of one byte between stretches of noise.
Sample ZerosSample(size_t size);
Sample PeriodSample(size_t size);
Sample RunsInNoiseSample(size_t size);
