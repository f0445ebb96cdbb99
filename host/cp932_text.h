// Walking and comparing code page 932 text as the Japanese locale's
// CharNextA and lstrcmpiA do.
#pragma once

// The character after the one at `text`: a lead byte and the byte behind it
// are one character, unless that byte is the terminator. At the terminator,
// `text` itself.
const char* NextCp932Char(const char* text);

// Compares two texts without regard to case, folded as FoldCp932Case does
// after conversion to UTF-16: below 0, 0 or above 0 as `a` sorts before,
// with or after `b`. A text that does not convert is compared by its bytes,
// with only ASCII letters folded.
int CompareCp932IgnoringCase(const char* a, const char* b);
