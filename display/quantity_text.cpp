#include "display/quantity_text.h"

#include <cstdio>

#include "display/exact_arithmetic.h"

std::string DecimalText(uint64_t numerator, uint64_t denominator, unsigned decimals) {
  uint64_t scale = 1;
  for (unsigned i = 0; i < decimals; ++i) scale *= 10;
  const uint64_t doubled = MulDivWide(numerator, 2 * scale, denominator);
  const uint64_t scaled = doubled / 2 + doubled % 2;
  char text[48];
  if (decimals == 0) {
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(scaled));
  } else {
    std::snprintf(text, sizeof text, "%llu.%0*llu", static_cast<unsigned long long>(scaled / scale),
                  static_cast<int>(decimals), static_cast<unsigned long long>(scaled % scale));
  }
  return text;
}

std::string GigabytesPerSecondText(uint64_t bytesPerSecond) { return DecimalText(bytesPerSecond, 1000000000u, 2) + " GB/s"; }

std::string BytesPerCycleText(uint64_t bytesPerSecond, uint64_t coreHz) {
  return coreHz == 0 ? "? B/cycle" : DecimalText(bytesPerSecond, coreHz, 2) + " B/cycle";
}

std::string LatencyText(uint64_t picoseconds, uint64_t coreHz) {
  std::string text = DecimalText(picoseconds, 1000, 2) + " ns";
  // cycles = picoseconds * coreHz / 10^12
  if (coreHz != 0) text += " = " + DecimalText(MulDivWide(picoseconds, coreHz, 1000000), 1000000, 2) + " cycles";
  return text;
}

std::string GigahertzText(uint64_t hertz) { return DecimalText(hertz, 1000000000u, 3) + " GHz"; }

std::string ByteSizeText(uint64_t bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  unsigned unit = 0;
  while (unit < 4 && bytes >= (uint64_t{1} << (10 * (unit + 1)))) ++unit;
  std::string text = DecimalText(bytes, uint64_t{1} << (10 * unit), 1);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text + " " + units[unit];
}
