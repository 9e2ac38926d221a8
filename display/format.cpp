#include "display/format.h"

UnitTable rateUnits = {L"TiB/s", L"GiB/s", L"MiB/s", L"KiB/s", L"B/s"};
UnitTable sizeUnits = {L"TiB", L"GiB", L"MiB", L"KiB", L"B"};

namespace {

// Appends text to the buffer at *length, keeping room for the terminator.
void AppendText(TextBuffer& buffer, int32_t* length, const wchar_t* text) {
  while (*text != 0 && *length < kTextBufferLength - 1) buffer[(*length)++] = *text++;
  buffer[*length] = 0;
}

// Appends the decimal digits of value, zero-padded to at least minimumDigits.
// Every value printed here stays below 2^63, so the unsigned digits are the
// same as those of a signed 64-bit conversion.
void AppendDecimal(TextBuffer& buffer, int32_t* length, uint64_t value, int32_t minimumDigits) {
  wchar_t digits[21];
  int32_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < minimumDigits) digits[count++] = L'0';
  while (count > 0 && *length < kTextBufferLength - 1) buffer[(*length)++] = digits[--count];
  buffer[*length] = 0;
}

}  // namespace

void FormatBinaryQuantity(UnitTable& units, uint64_t value, TextBuffer& textBuffer) {
  uint64_t quotient = value;
  int32_t unit = 4;
  if ((value >> 40) != 0) {
    quotient = value >> 40;
    unit = 0;
  } else if ((value >> 30) != 0) {
    quotient = value >> 30;
    unit = 1;
  } else if ((value >> 20) != 0) {
    quotient = value >> 20;
    unit = 2;
  } else if ((value >> 10) != 0) {
    quotient = value >> 10;
    unit = 3;
  }
  int32_t length = 0;
  AppendDecimal(textBuffer, &length, quotient, 1);
  AppendText(textBuffer, &length, L" ");
  AppendText(textBuffer, &length, units[unit]);
}

void FormatGiBRate(uint64_t rate, TextBuffer& textBuffer) {
  const uint64_t mebibytes = (rate >> 20) & 1023;
  const uint64_t whole = (rate >> 30) + mebibytes / 1000;
  int32_t length = 0;
  AppendDecimal(textBuffer, &length, whole, 1);
  AppendText(textBuffer, &length, L".");
  AppendDecimal(textBuffer, &length, mebibytes % 1000, 3);
  AppendText(textBuffer, &length, L" GiB/s");
}

void FormatClockFrequency(uint64_t clockHz, TextBuffer& textBuffer) {
  int32_t length = 0;
  AppendText(textBuffer, &length, L"Taktfrequenz: ");
  AppendDecimal(textBuffer, &length, clockHz / 1000000, 1);
  AppendText(textBuffer, &length, L".");
  AppendDecimal(textBuffer, &length, (clockHz % 1000000) / 1000, 3);
  AppendText(textBuffer, &length, L" MHz");
}

int32_t TextLength(const TextBuffer& textBuffer) {
  int32_t length = 0;
  while (length < kTextBufferLength && textBuffer[length] != 0) ++length;
  return length;
}

uint64_t PowerOfTwo(uint32_t n) { return n < 64 ? uint64_t{1} << n : 0; }

uint32_t HighestBitIndex(uint64_t value) {
  for (uint32_t bit = 63; bit >= 1; --bit) {
    if ((value >> bit) & 1) return bit;
  }
  return 0;
}
