#include "display/panel.h"

#include "display/display_state.h"
#include "display/format.h"
#include "record/state.h"

namespace {

constexpr Colour kBackground = MakeColour(0, 0, 0);
constexpr Colour kLabelColour = MakeColour(255, 255, 255);
constexpr Colour kMemoryColour = MakeColour(255, 255, 0);
constexpr Colour kVersionColour = MakeColour(128, 128, 128);

const wchar_t kVersionText[] = L"Version: 2.0 Alpha 4";

// centre - R < offset < centre + R, written so that a centre below R (whose
// lower bound would lie below zero) admits every offset below the upper bound.
bool InCacheWindow(uint64_t offset, uint64_t centre) {
  return offset + kCacheWindowHalfWidth > centre && offset < centre + kCacheWindowHalfWidth;
}

int32_t WideLength(const wchar_t* text) {
  int32_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

void RaiseMaxima(uint64_t maxima[3], const uint64_t rates[3]) {
  for (int j = 0; j < 3; ++j) {
    if (rates[j] > maxima[j]) maxima[j] = rates[j];
  }
}

struct Column {
  int32_t labelOffset;   // from x0; the figure stands 110 pixels further right
  const wchar_t* labels[3];
  const uint64_t* figures;
  bool memory;           // yellow figures, a placeholder instead of zero
};

}  // namespace

PanelFigures ComputePanelFigures() {
  PanelFigures figures = {};
  if (!ResultArraysExist()) return figures;
  const MeasurementState& state = measurementState;
  const uint32_t count = BlockCount();
  const uint64_t l1Centre = state.l1CacheSize / 2;
  const uint64_t l2Centre = state.l2CacheSize / 2;
  const uint64_t memoryStart = uint64_t{4} * state.l2CacheSize;
  uint64_t sums[3] = {0, 0, 0};
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t offset = uint64_t{i} * state.blockStep;
    const uint64_t rates[3] = {LoadWhole(&state.readRates[i]), LoadWhole(&state.writeRates[i]),
                               LoadWhole(&state.copyRates[i])};
    const bool measured = rates[0] != 0 && rates[1] != 0 && rates[2] != 0;
    if (InCacheWindow(offset, l1Centre)) {
      if (measured) RaiseMaxima(figures.l1, rates);
    } else if (InCacheWindow(offset, l2Centre)) {
      if (measured) RaiseMaxima(figures.l2, rates);
    } else if (offset > memoryStart) {
      if (measured) {
        for (int j = 0; j < 3; ++j) sums[j] += rates[j];
        ++figures.memoryCount;
      }
    }
  }
  if (figures.memoryCount != 0) {
    for (int j = 0; j < 3; ++j) figures.memory[j] = sums[j] / figures.memoryCount;
  }
  return figures;
}

void PaintResultsPanel(Canvas& canvas, const Rect& rect) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  MeasurementState& state = measurementState;
  void* const context = canvas.context;
  const PanelFigures figures = ComputePanelFigures();

  canvas.SelectFont(context, displayState.panelFont);
  canvas.ClipToRect(context, rect);
  canvas.FillRect(context, rect, kBackground);
  canvas.DrawSunkenEdge(context, rect);

  const int32_t x0 = rect.left + 5;
  const int32_t y0 = rect.top + 5;
  const int32_t xR = rect.right - 5;
  TextBuffer textBuffer = {};

  const Column columns[3] = {
      {0, {L"L1 Cache Lesen: ", L"L1 Cache Schreiben: ", L"L1 Cache Kopieren: "}, figures.l1, false},
      {180, {L"L2 Cache Lesen: ", L"L2 Cache Schreiben: ", L"L2 Cache Kopieren: "}, figures.l2, false},
      {360, {L"Speicher Lesen: ", L"Speicher Schreiben: ", L"Speicher Kopieren: "}, figures.memory, true},
  };
  // The row pitch is the height of a label in the panel font.
  const wchar_t* const pitchLabel = columns[0].labels[0];
  const int32_t rowPitch = canvas.MeasureText(context, pitchLabel, WideLength(pitchLabel)).cy;

  for (const Column& column : columns) {
    const int32_t labelX = x0 + column.labelOffset;
    for (int row = 0; row < 3; ++row) {
      const int32_t y = y0 + row * rowPitch;
      const wchar_t* const label = column.labels[row];
      canvas.SetTextColour(context, kLabelColour);
      canvas.DrawString(context, labelX, y, label, WideLength(label));

      const uint64_t figure = column.figures[row];
      if (column.memory && figure == 0) {
        textBuffer[0] = displayState.blinkPhase ? L'?' : L' ';
        textBuffer[1] = 0;
      } else {
        FormatGiBRate(figure, textBuffer);
      }
      canvas.SetTextColour(context, column.memory ? kMemoryColour : displayState.curveColours[row]);
      canvas.DrawString(context, labelX + 110, y, textBuffer, TextLength(textBuffer));
    }
  }
  displayState.blinkPhase = !displayState.blinkPhase;

  FormatClockFrequency(LoadWhole(&state.clockHz), textBuffer);
  int32_t length = TextLength(textBuffer);
  canvas.SetTextColour(context, kLabelColour);
  canvas.DrawString(context, xR - canvas.MeasureText(context, textBuffer, length).cx, y0, textBuffer, length);

  length = WideLength(kVersionText);
  canvas.SetTextColour(context, kVersionColour);
  canvas.DrawString(context, xR - canvas.MeasureText(context, kVersionText, length).cx, y0 + 15, kVersionText,
                    length);
}
