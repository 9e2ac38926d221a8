// Number formatting shared by the results panel and the chart, and the two
// small power-of-two helpers on which the chart's scales rest. Unsigned
// integer arithmetic only; every text is written, zero-terminated, into the
// caller's TextBuffer and is identical on every platform (wchar_t is 16 bits
// on Windows and 32 bits elsewhere; only ASCII characters are produced).
#pragma once
#include <cstdint>

// The buffer of 128 wide characters that each paint routine owns and reuses
// for every text it formats. No text formatted here comes near that length.
constexpr int32_t kTextBufferLength = 128;
typedef wchar_t TextBuffer[kTextBufferLength];

// Binary unit words, largest first: index 0 is 2^40, 1 is 2^30, 2 is 2^20,
// 3 is 2^10 and 4 is the plain unit.
typedef const wchar_t* const UnitTable[5];
extern UnitTable rateUnits;  // "TiB/s", "GiB/s", "MiB/s", "KiB/s", "B/s"
extern UnitTable sizeUnits;  // "TiB", "GiB", "MiB", "KiB", "B"

// "<quotient> <unit>" in the largest unit whose quotient is not zero, the
// quotient truncated, e.g. 1536 -> "1 KiB/s", 2^50 -> "1024 TiB/s", 0 -> "0 B/s".
void FormatBinaryQuantity(UnitTable& units, uint64_t value, TextBuffer& textBuffer);

// "<G>.<MMM> GiB/s": whole GiB/s, then three digits counting the whole MiB/s
// beyond them (not thousandths); 1000 to 1023 MiB/s carry one into the whole
// number and show 000 to 023.
void FormatGiBRate(uint64_t rate, TextBuffer& textBuffer);

// "Taktfrequenz: <whole MHz>.<kHz, three digits> MHz", truncated.
void FormatClockFrequency(uint64_t clockHz, TextBuffer& textBuffer);

// Length of the zero-terminated text in textBuffer.
int32_t TextLength(const TextBuffer& textBuffer);

// 1 shifted left by n; 0 for n of 64 or more.
uint64_t PowerOfTwo(uint32_t n);

// Index of the highest set bit among bits 63..1; 0 when none of them is set,
// so 0 and 1 both give 0.
uint32_t HighestBitIndex(uint64_t value);
