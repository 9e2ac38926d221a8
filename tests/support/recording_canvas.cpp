#include "tests/support/recording_canvas.h"

namespace {
RecordingCanvas& Self(void* context) { return *static_cast<RecordingCanvas*>(context); }
}  // namespace

RecordingCanvas::RecordingCanvas() {
  canvas_.context = this;
  canvas_.ClipToRect = &RecordingCanvas::ClipToRect;
  canvas_.FillRect = &RecordingCanvas::FillRect;
  canvas_.DrawSunkenEdge = &RecordingCanvas::DrawSunkenEdge;
  canvas_.SelectSolidPen = &RecordingCanvas::SelectSolidPen;
  canvas_.SelectDottedPen = &RecordingCanvas::SelectDottedPen;
  canvas_.MoveTo = &RecordingCanvas::MoveTo;
  canvas_.LineTo = &RecordingCanvas::LineTo;
  canvas_.SetTransparentText = &RecordingCanvas::SetTransparentText;
  canvas_.SetTextColour = &RecordingCanvas::SetTextColour;
  canvas_.SelectFont = &RecordingCanvas::SelectFont;
  canvas_.MeasureText = &RecordingCanvas::MeasureText;
  canvas_.DrawString = &RecordingCanvas::DrawString;
}

void RecordingCanvas::SetFontMetrics(FontHandle font, int32_t characterWidth, int32_t height) {
  fontMetrics_[font] = Metrics{characterWidth, height};
}

void RecordingCanvas::SetTextExtent(const std::wstring& text, TextSize size) { textExtents_[text] = size; }

void RecordingCanvas::Clear() {
  operations.clear();
  state = CanvasState();
}

std::vector<RecordedOperation> RecordingCanvas::OfKind(CanvasOp op) const {
  std::vector<RecordedOperation> result;
  for (const RecordedOperation& operation : operations) {
    if (operation.op == op) result.push_back(operation);
  }
  return result;
}

std::vector<std::wstring> RecordingCanvas::TextStrings() const {
  std::vector<std::wstring> result;
  for (const RecordedOperation& operation : operations) {
    if (operation.op == CanvasOp::DrawString) result.push_back(operation.text);
  }
  return result;
}

const RecordedOperation* RecordingCanvas::FindText(const std::wstring& text) const {
  for (const RecordedOperation& operation : operations) {
    if (operation.op == CanvasOp::DrawString && operation.text == text) return &operation;
  }
  return nullptr;
}

size_t RecordingCanvas::Count(CanvasOp op) const {
  size_t count = 0;
  for (const RecordedOperation& operation : operations) count += operation.op == op ? 1 : 0;
  return count;
}

size_t RecordingCanvas::DrawingCount() const {
  return Count(CanvasOp::FillRect) + Count(CanvasOp::DrawSunkenEdge) + Count(CanvasOp::LineTo) +
         Count(CanvasOp::DrawString);
}

TextSize RecordingCanvas::Measure(FontHandle font, const std::wstring& text) const {
  const auto fixed = textExtents_.find(text);
  if (fixed != textExtents_.end()) return fixed->second;
  const auto found = fontMetrics_.find(font);
  const Metrics metrics = found != fontMetrics_.end() ? found->second : defaultMetrics_;
  return TextSize{metrics.characterWidth * static_cast<int32_t>(text.size()), metrics.height};
}

RecordedOperation& RecordingCanvas::Record(CanvasOp op) {
  RecordedOperation operation;
  operation.op = op;
  operation.state = state;
  operations.push_back(operation);
  return operations.back();
}

void RecordingCanvas::Finish(const RecordedOperation& operation) {
  if (afterOperation) afterOperation(operation);
}

void RecordingCanvas::ClipToRect(void* context, const Rect& rect) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::ClipToRect);
  operation.rect = rect;
  self.state.clipSet = true;
  self.state.clip = rect;
  self.Finish(operation);
}

void RecordingCanvas::FillRect(void* context, const Rect& rect, Colour colour) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::FillRect);
  operation.rect = rect;
  operation.colour = colour;
  self.Finish(operation);
}

void RecordingCanvas::DrawSunkenEdge(void* context, const Rect& rect) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::DrawSunkenEdge);
  operation.rect = rect;
  self.Finish(operation);
}

void RecordingCanvas::SelectSolidPen(void* context, Colour colour) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::SelectSolidPen);
  operation.colour = colour;
  self.state.penSelected = true;
  self.state.dottedPen = false;
  self.state.penColour = colour;
  self.Finish(operation);
}

void RecordingCanvas::SelectDottedPen(void* context, Colour colour) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::SelectDottedPen);
  operation.colour = colour;
  self.state.penSelected = true;
  self.state.dottedPen = true;
  self.state.penColour = colour;
  self.Finish(operation);
}

void RecordingCanvas::MoveTo(void* context, int32_t x, int32_t y) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::MoveTo);
  operation.x = x;
  operation.y = y;
  self.state.currentX = x;
  self.state.currentY = y;
  self.Finish(operation);
}

void RecordingCanvas::LineTo(void* context, int32_t x, int32_t y) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::LineTo);
  operation.fromX = self.state.currentX;
  operation.fromY = self.state.currentY;
  operation.x = x;
  operation.y = y;
  self.state.currentX = x;
  self.state.currentY = y;
  self.Finish(operation);
}

void RecordingCanvas::SetTransparentText(void* context) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::SetTransparentText);
  self.state.transparentText = true;
  self.Finish(operation);
}

void RecordingCanvas::SetTextColour(void* context, Colour colour) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::SetTextColour);
  operation.colour = colour;
  self.state.textColour = colour;
  self.Finish(operation);
}

void RecordingCanvas::SelectFont(void* context, FontHandle font) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::SelectFont);
  operation.font = font;
  self.state.font = font;
  self.Finish(operation);
}

TextSize RecordingCanvas::MeasureText(void* context, const wchar_t* text, int32_t length) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::MeasureText);
  operation.text.assign(text, static_cast<size_t>(length));
  const TextSize size = self.Measure(self.state.font, operation.text);
  self.Finish(operation);
  return size;
}

void RecordingCanvas::DrawString(void* context, int32_t x, int32_t y, const wchar_t* text, int32_t length) {
  RecordingCanvas& self = Self(context);
  RecordedOperation& operation = self.Record(CanvasOp::DrawString);
  operation.x = x;
  operation.y = y;
  operation.text.assign(text, static_cast<size_t>(length));
  self.Finish(operation);
}
