// Whether an entry name, in code page 932, can stand as a file name where
// the updater writes it: checked character by character after conversion,
// since a two-byte character may end in the byte of a backslash (表, ソ)
// and a single byte 0x5C is a backslash to Windows whatever it shows
// (¥ in Japanese fonts).
#pragma once

#include <string>
#include <string_view>

// Empty when `cp932` is a plain file name; otherwise why it is not: empty,
// a lone lead byte at its end, a control byte, one of \ / : * ? " < > |,
// or a last character that is a dot or a space (Windows drops those, so
// "a." would be written as "a", and ".." names the folder above).
std::string WhyNotAFileName(std::string_view cp932);
