// A Canvas that draws nothing and keeps every operation with its arguments and
// the drawing state it took effect in, so tests can check positions, texts,
// colours, fonts and clipping exactly. Text metrics are fixed and configurable
// per font (by default 6 pixels per character and 13 pixels high), so text
// positions are deterministic.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "display/canvas.h"

enum class CanvasOp {
  ClipToRect,
  FillRect,
  DrawSunkenEdge,
  ExcludeFromClip,
  FillBackground,
  SelectSolidPen,
  SelectDottedPen,
  MoveTo,
  LineTo,
  SetTransparentText,
  SetTextColour,
  SelectFont,
  MeasureText,
  DrawString,
};

// The drawing state as the operations so far have left it.
struct CanvasState {
  Rect clip = {0, 0, 0, 0};
  bool penSelected = false;  // a pen has been selected at all
  bool dottedPen = false;
  Colour penColour = 0;
  int32_t currentX = 0, currentY = 0;
  bool transparentText = false;
  Colour textColour = 0;
  FontHandle font = 0;
};

struct RecordedOperation {
  CanvasOp op;
  Rect rect = {0, 0, 0, 0};  // ClipToRect, FillRect, DrawSunkenEdge
  Colour colour = 0;         // FillRect and the pens; SetTextColour
  FontHandle font = 0;       // SelectFont
  int32_t x = 0, y = 0;      // MoveTo, LineTo (its end), DrawString
  int32_t fromX = 0, fromY = 0;  // LineTo: the current point it starts from
  std::wstring text;         // MeasureText, DrawString
  CanvasState state;         // the state in effect for this operation, before it changed anything
};

class RecordingCanvas {
 public:
  RecordingCanvas();
  RecordingCanvas(const RecordingCanvas&) = delete;
  RecordingCanvas& operator=(const RecordingCanvas&) = delete;

  // The seam, bound to this recorder.
  Canvas& canvas() { return canvas_; }

  // Metrics of every text in one font: cx = characterWidth * length, cy = height.
  void SetFontMetrics(FontHandle font, int32_t characterWidth, int32_t height) {
    fontMetrics_[font] = Metrics{characterWidth, height};
  }
  // Fixed extent of one particular text, in any font.
  void SetTextExtent(const std::wstring& text, TextSize size) { textExtents_[text] = size; }

  // Called after each operation has been recorded (e.g. to change the
  // measurement state in the middle of a paint, as a running sweep would).
  // It must not draw on this canvas.
  std::function<void(const RecordedOperation&)> afterOperation;

  std::vector<RecordedOperation> operations;
  CanvasState state;

  void Clear();
  std::vector<RecordedOperation> OfKind(CanvasOp op) const;
  std::vector<RecordedOperation> Texts() const { return OfKind(CanvasOp::DrawString); }
  std::vector<RecordedOperation> Lines() const { return OfKind(CanvasOp::LineTo); }
  // All drawn texts, in order.
  std::vector<std::wstring> TextStrings() const;
  // The first DrawString of text; null when there is none.
  const RecordedOperation* FindText(const std::wstring& text) const;
  size_t Count(CanvasOp op) const;
  // Number of operations that put pixels on the target.
  size_t DrawingCount() const;

  TextSize Measure(FontHandle font, const std::wstring& text) const;

 private:
  // Records op in the current state, lets fill set its arguments and the
  // state it leaves, then calls afterOperation.
  template <typename Fill>
  void Record(CanvasOp op, Fill fill) {
    operations.push_back(RecordedOperation{op});
    RecordedOperation& operation = operations.back();
    operation.state = state;
    fill(operation, state);
    if (afterOperation) afterOperation(operation);
  }

  struct Metrics {
    int32_t characterWidth, height;
  };
  Canvas canvas_;
  std::map<FontHandle, Metrics> fontMetrics_;
  std::map<std::wstring, TextSize> textExtents_;
};
