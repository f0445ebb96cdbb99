// Compresses the contents of the entries of an archive, two at a time (each
// compression may also find its matches on a thread of its own), with the
// bytes done shown on a progress bar. The streams are those CompressStream
// gives, whatever the order in which the entries finish.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool CompressEntries(const std::vector<std::vector<uint8_t>>& contents,
                     std::vector<std::vector<uint8_t>>* streams, std::string* error);
