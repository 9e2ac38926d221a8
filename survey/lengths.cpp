#include "survey/lengths.h"

#include <cctype>
#include <cmath>

std::vector<uint64_t> SurveyLengths(uint64_t maxSize, uint32_t pointsPerDoubling) {
  std::vector<uint64_t> lengths;
  if (maxSize < kSurveyFirstLength || pointsPerDoubling == 0) return lengths;
  const uint64_t last = maxSize / kSurveyLengthGranule * kSurveyLengthGranule;
  for (uint32_t step = 0;; ++step) {
    // 2 KiB * 2^(step / pointsPerDoubling); the exponent's whole part is a
    // shift, so only the fraction goes through floating point.
    const uint32_t doublings = step / pointsPerDoubling;
    if (doublings > 52) break;
    const double fraction = std::exp2(static_cast<double>(step % pointsPerDoubling) / pointsPerDoubling);
    const double exact = static_cast<double>(kSurveyFirstLength << doublings) * fraction;
    const uint64_t rounded =
        static_cast<uint64_t>(exact / kSurveyLengthGranule + 0.5) * kSurveyLengthGranule;
    if (rounded >= last) break;
    if (lengths.empty() || rounded > lengths.back()) lengths.push_back(rounded);
  }
  if (lengths.empty() || last > lengths.back()) lengths.push_back(last);
  return lengths;
}

bool ParseByteSize(const std::string& text, uint64_t* bytes, std::string* error) {
  size_t position = 0;
  uint64_t number = 0;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    if (number > (uint64_t{1} << 62) / 10) {
      *error = "size '" + text + "' is too large";
      return false;
    }
    number = number * 10 + static_cast<uint64_t>(text[position++] - '0');
  }
  if (position == 0) {
    *error = "size '" + text + "' does not start with a whole number";
    return false;
  }
  while (position < text.size() && text[position] == ' ') ++position;
  std::string unit;
  for (; position < text.size(); ++position) unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[position])));
  unsigned shift = 0;
  if (unit.empty() || unit == "b") shift = 0;
  else if (unit == "k" || unit == "kib") shift = 10;
  else if (unit == "m" || unit == "mib") shift = 20;
  else if (unit == "g" || unit == "gib") shift = 30;
  else {
    *error = "unknown unit in size '" + text + "' (use B, KiB, MiB or GiB)";
    return false;
  }
  if (number > ((uint64_t{1} << 62) >> shift)) {
    *error = "size '" + text + "' is too large";
    return false;
  }
  *bytes = number << shift;
  return true;
}

std::string FormatByteSize(uint64_t bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  unsigned unit = 0;
  while (unit < 4 && bytes >= (uint64_t{1} << (10 * (unit + 1)))) ++unit;
  const uint64_t scale = uint64_t{1} << (10 * unit);
  const uint64_t whole = bytes / scale;
  const uint64_t tenths = (bytes % scale) * 10 / scale;
  std::string text = std::to_string(whole);
  if (tenths != 0) text += "." + std::to_string(tenths);
  return text + " " + units[unit];
}
