// How densely the long sweeps take their points. The instrumented build
// (AddressSanitizer) runs the same paths several times slower: it takes
// every third point, which still reaches every kind of step, while the plain
// build takes them all. Keeps the test command within its time.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSweepStride = 3;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kSweepStride = 3;
#else
constexpr int kSweepStride = 1;
#endif
#else
constexpr int kSweepStride = 1;
#endif
