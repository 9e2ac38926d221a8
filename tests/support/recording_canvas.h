// A Canvas that draws nothing and records every operation (text measurements
// aside) with its arguments, a line describing it ("fill 5 60 695 395
// rgb(0,0,0)") and the drawing state it took effect in. Text is 6 x 13 pixels
// a character unless set per font or per text. DisplayTest gives each test a
// fresh measurement state with two distinct fonts and zeroed result arrays.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "display/canvas.h"
#include "display/display_state.h"
#include "record/state.h"

struct CanvasState {
  bool dottedPen = false, transparentText = false;
  Colour penColour = 0, textColour = 0;
  FontHandle font = 0;
  int32_t x = 0, y = 0;  // the current point
};

// what: "clip", "fill", "edge", "exclude", "background", "pen", "dotted pen", "move", "line", "transparent",
// "text colour", "font" or "text"; x, y: the end of a move or line, a text's position.
struct RecordedOperation {
  std::string what, line;
  int32_t x, y;
  std::wstring text;
  CanvasState state;
};

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
inline std::string Rgb(Colour c) {
  return "rgb(" + std::to_string(c & 0xFF) + "," + std::to_string(c >> 8 & 0xFF) + "," + std::to_string(c >> 16) + ")";
}
inline std::string Point(int32_t x, int32_t y) { return std::to_string(x) + " " + std::to_string(y); }
inline std::string Str(const Rect& r) { return Point(r.left, r.top) + " " + Point(r.right, r.bottom); }

struct RecordingCanvas {
  std::vector<RecordedOperation> ops;
  CanvasState state;
  std::map<FontHandle, TextSize> fontMetrics;  // cx per character, cy
  std::map<std::wstring, TextSize> textExtents;
  std::function<void(const RecordedOperation&)> afterOperation;  // e.g. a sweep changing the results mid-paint
  Canvas canvas;

  static RecordingCanvas& Add(void* context, const std::string& what, const std::string& args, int32_t x = 0,
                              int32_t y = 0, const std::wstring& text = {}) {
    RecordingCanvas& self = *static_cast<RecordingCanvas*>(context);
    self.ops.push_back({what, what + (args.empty() ? "" : " " + args), x, y, text, self.state});
    if (what == "pen" || what == "dotted pen") self.state.dottedPen = what != "pen";
    if (what == "move" || what == "line") self.state.x = x, self.state.y = y;
    if (self.afterOperation) self.afterOperation(self.ops.back());
    return self;
  }
  RecordingCanvas() {
    canvas.context = this;
    canvas.ClipToRect = [](void* c, const Rect& r) { Add(c, "clip", Str(r)); };
    canvas.FillRect = [](void* c, const Rect& r, Colour k) { Add(c, "fill", Str(r) + " " + Rgb(k)); };
    canvas.DrawSunkenEdge = [](void* c, const Rect& r) { Add(c, "edge", Str(r)); };
    canvas.ExcludeFromClip = [](void* c, const Rect& r) { Add(c, "exclude", Str(r)); };
    canvas.FillBackground = [](void* c, const Rect& r) { Add(c, "background", Str(r)); };
    canvas.SelectSolidPen = [](void* c, Colour k) { Add(c, "pen", Rgb(k)).state.penColour = k; };
    canvas.SelectDottedPen = [](void* c, Colour k) { Add(c, "dotted pen", Rgb(k)).state.penColour = k; };
    canvas.MoveTo = [](void* c, int32_t x, int32_t y) { Add(c, "move", Point(x, y), x, y); };
    canvas.LineTo = [](void* c, int32_t x, int32_t y) { Add(c, "line", Point(x, y), x, y); };
    canvas.SetTransparentText = [](void* c) { Add(c, "transparent", "").state.transparentText = true; };
    canvas.SetTextColour = [](void* c, Colour k) { Add(c, "text colour", Rgb(k)).state.textColour = k; };
    canvas.SelectFont = [](void* c, FontHandle f) { Add(c, "font", std::to_string(f)).state.font = f; };
    canvas.MeasureText = [](void* c, const wchar_t* text, int32_t length) {
      RecordingCanvas& self = *static_cast<RecordingCanvas*>(c);
      const std::wstring t(text, size_t(length));
      if (self.textExtents.count(t)) return self.textExtents[t];
      const TextSize m = self.fontMetrics.count(self.state.font) ? self.fontMetrics[self.state.font] : TextSize{6, 13};
      return TextSize{m.cx * length, m.cy};
    };
    canvas.DrawString = [](void* c, int32_t x, int32_t y, const wchar_t* text, int32_t length) {
      const std::wstring t(text, size_t(length));
      Add(c, "text", Point(x, y) + " '" + Narrow(t) + "'", x, y, t);
    };
  }

  void Clear() { ops.clear(), state = CanvasState(); }
  std::vector<RecordedOperation> Of(const std::string& what) const {
    std::vector<RecordedOperation> found;
    for (const RecordedOperation& op : ops)
      if (op.what == what) found.push_back(op);
    return found;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const RecordedOperation& op : ops) lines.push_back(op.line);
    return lines;
  }
  // The first text drawn as text; null when there is none.
  const RecordedOperation* Find(const std::wstring& text) const {
    for (const RecordedOperation& op : ops)
      if (op.what == "text" && op.text == text) return &op;
    return nullptr;
  }
  // "x y rgb(...)" of the first text drawn as text: where and in which colour; "absent" when there is none.
  std::string Where(const std::wstring& text) const {
    const RecordedOperation* t = Find(text);
    return t == nullptr ? "absent" : Point(t->x, t->y) + " " + Rgb(t->state.textColour);
  }
};

class DisplayTest : public ::testing::Test {
 protected:
  static constexpr FontHandle kPanelFont = 101, kAxisFont = 202;
  RecordingCanvas recorder;

  void SetUp() override {
    FreeArrays();
    measurementState = MeasurementState();
    displayState = DisplayState();
    displayState.panelFont = kPanelFont, displayState.axisFont = kAxisFont;
    UseSettings(measurementState.testAreaSize, measurementState.blockStep);
  }
  void TearDown() override { FreeArrays(); }
  static void FreeArrays() {
    for (uint64_t** rates : {&measurementState.readRates, &measurementState.writeRates, &measurementState.copyRates})
      std::free(*rates), *rates = nullptr;
  }
  static void UseSettings(uint64_t testAreaSize, uint32_t blockStep) {
    measurementState.testAreaSize = testAreaSize, measurementState.blockStep = blockStep;
    ResetResultArrays();
    ASSERT_TRUE(ResultArraysExist());
  }
  static void SetEntry(uint32_t i, uint64_t read, uint64_t write, uint64_t copy) {
    measurementState.readRates[i] = read, measurementState.writeRates[i] = write, measurementState.copyRates[i] = copy;
  }
};
