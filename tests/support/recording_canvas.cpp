#include "tests/support/recording_canvas.h"

namespace {
RecordingCanvas& Self(void* context) { return *static_cast<RecordingCanvas*>(context); }
void SetPen(CanvasState& s, Colour colour, bool dotted) {
  s.penSelected = true;
  s.dottedPen = dotted;
  s.penColour = colour;
}
}  // namespace

RecordingCanvas::RecordingCanvas() {
  using Op = RecordedOperation;
  using State = CanvasState;
  canvas_.context = this;
  canvas_.ClipToRect = [](void* c, const Rect& r) {
    Self(c).Record(CanvasOp::ClipToRect, [&](Op& o, State& s) { o.rect = s.clip = r; });
  };
  canvas_.FillRect = [](void* c, const Rect& r, Colour colour) {
    Self(c).Record(CanvasOp::FillRect, [&](Op& o, State&) { o.rect = r; o.colour = colour; });
  };
  canvas_.DrawSunkenEdge = [](void* c, const Rect& r) {
    Self(c).Record(CanvasOp::DrawSunkenEdge, [&](Op& o, State&) { o.rect = r; });
  };
  canvas_.ExcludeFromClip = [](void* c, const Rect& r) {
    Self(c).Record(CanvasOp::ExcludeFromClip, [&](Op& o, State&) { o.rect = r; });
  };
  canvas_.FillBackground = [](void* c, const Rect& r) {
    Self(c).Record(CanvasOp::FillBackground, [&](Op& o, State&) { o.rect = r; });
  };
  canvas_.SelectSolidPen = [](void* c, Colour colour) {
    Self(c).Record(CanvasOp::SelectSolidPen, [&](Op& o, State& s) { o.colour = colour; SetPen(s, colour, false); });
  };
  canvas_.SelectDottedPen = [](void* c, Colour colour) {
    Self(c).Record(CanvasOp::SelectDottedPen, [&](Op& o, State& s) { o.colour = colour; SetPen(s, colour, true); });
  };
  canvas_.MoveTo = [](void* c, int32_t x, int32_t y) {
    Self(c).Record(CanvasOp::MoveTo, [&](Op& o, State& s) { o.x = s.currentX = x; o.y = s.currentY = y; });
  };
  canvas_.LineTo = [](void* c, int32_t x, int32_t y) {
    Self(c).Record(CanvasOp::LineTo, [&](Op& o, State& s) {
      o.fromX = s.currentX; o.fromY = s.currentY;
      o.x = s.currentX = x; o.y = s.currentY = y;
    });
  };
  canvas_.SetTransparentText = [](void* c) {
    Self(c).Record(CanvasOp::SetTransparentText, [&](Op&, State& s) { s.transparentText = true; });
  };
  canvas_.SetTextColour = [](void* c, Colour colour) {
    Self(c).Record(CanvasOp::SetTextColour, [&](Op& o, State& s) { o.colour = s.textColour = colour; });
  };
  canvas_.SelectFont = [](void* c, FontHandle font) {
    Self(c).Record(CanvasOp::SelectFont, [&](Op& o, State& s) { o.font = s.font = font; });
  };
  canvas_.MeasureText = [](void* c, const wchar_t* text, int32_t length) {
    RecordingCanvas& self = Self(c);
    TextSize size{};
    self.Record(CanvasOp::MeasureText, [&](Op& o, State& s) {
      o.text.assign(text, static_cast<size_t>(length));
      size = self.Measure(s.font, o.text);
    });
    return size;
  };
  canvas_.DrawString = [](void* c, int32_t x, int32_t y, const wchar_t* text, int32_t length) {
    Self(c).Record(CanvasOp::DrawString, [&](Op& o, State&) {
      o.x = x; o.y = y;
      o.text.assign(text, static_cast<size_t>(length));
    });
  };
}

void RecordingCanvas::Clear() {
  operations.clear();
  state = CanvasState();
}

std::vector<RecordedOperation> RecordingCanvas::OfKind(CanvasOp op) const {
  std::vector<RecordedOperation> result;
  for (const RecordedOperation& operation : operations)
    if (operation.op == op) result.push_back(operation);
  return result;
}

std::vector<std::wstring> RecordingCanvas::TextStrings() const {
  std::vector<std::wstring> result;
  for (const RecordedOperation& text : Texts()) result.push_back(text.text);
  return result;
}

const RecordedOperation* RecordingCanvas::FindText(const std::wstring& text) const {
  for (const RecordedOperation& operation : operations)
    if (operation.op == CanvasOp::DrawString && operation.text == text) return &operation;
  return nullptr;
}

size_t RecordingCanvas::Count(CanvasOp op) const { return OfKind(op).size(); }

size_t RecordingCanvas::DrawingCount() const {
  return Count(CanvasOp::FillRect) + Count(CanvasOp::DrawSunkenEdge) + Count(CanvasOp::LineTo) +
         Count(CanvasOp::DrawString);
}

TextSize RecordingCanvas::Measure(FontHandle font, const std::wstring& text) const {
  const auto fixed = textExtents_.find(text);
  if (fixed != textExtents_.end()) return fixed->second;
  const auto found = fontMetrics_.find(font);
  const Metrics metrics = found != fontMetrics_.end() ? found->second : Metrics{6, 13};
  return TextSize{metrics.characterWidth * static_cast<int32_t>(text.size()), metrics.height};
}
