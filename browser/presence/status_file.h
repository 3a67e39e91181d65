// OnlStatus.txt: the five status texts, one a line, then one line of eight numbers.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace mirabo {

inline constexpr int kStatusTexts = 5;
inline constexpr int kStatusNumbers = 8;  // WriteInterval .. ShutdownMinutes, AutoShutdown
inline constexpr std::size_t kStatusTextMax = 255;

struct StatusFile {
  // A missing line is an empty text; a longer line gives its first 255 bytes.
  std::array<std::string, kStatusTexts> texts;
  // The numbers that the numbers line supplies, in order: as many as could be read, at most
  // eight, from none (the line is missing or starts with something else) to all of them.
  std::vector<int> numbers;
};

// Reads the file's bytes as the original's text-mode reads did: a line break is LF, or CR LF
// (a CR elsewhere is part of the text); the numbers are read with the format that wrote them.
StatusFile ParseStatusFile(const std::string& bytes);

// The file's bytes: each text and a CR LF, then the eight numbers joined by commas and a CR LF.
std::string FormatStatusFile(const std::vector<std::string>& texts,
                             const std::array<int, kStatusNumbers>& numbers);

}  // namespace mirabo
