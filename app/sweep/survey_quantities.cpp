#include "app/sweep/survey_quantities.h"

#include "display/exact_arithmetic.h"

uint32_t SpreadPercent(const LevelFigure& figure) {
  if (figure.highest == 0 || figure.lowest >= figure.highest) return 0;
  const uint64_t doubled = MulDivWide(figure.highest - figure.lowest, 200, figure.highest);
  return static_cast<uint32_t>(doubled / 2 + doubled % 2);
}

bool FigureUnstable(const LevelFigure& figure) {
  return figure.highest != 0 && figure.lowest < figure.highest &&
         MulDivWide(figure.highest - figure.lowest, 100, 1) > MulDivWide(figure.highest, unstableSpreadPercent, 1);
}

const char* const copyAccounting =
    "copy rates count each byte copied once (read once and written once); likwid-bench and STREAM count it "
    "read plus written, twice these figures";
