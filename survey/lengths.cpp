#include "survey/lengths.h"

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
