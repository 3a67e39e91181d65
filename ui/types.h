// Small value types shared by the controls.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

enum class Align { None, Top, Bottom, Left, Right, Client };

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool operator==(const Rect&) const = default;
};

struct Color {
  std::uint8_t r = 240, g = 240, b = 240;
  bool operator==(const Color&) const = default;
  static Color Rgb(int r, int g, int b) {
    return Color{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
  }
  // A Windows colour value 0x00BBGGRR, as form files store it.
  static Color FromWin(std::uint32_t v) { return Rgb(v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff); }
};

struct Font {
  std::string name;  // Shift-JIS, e.g. "ＭＳ Ｐゴシック"
  int height = -12;  // negative: character height in pixels
  bool bold = false;
  Color color{0, 0, 0};
  bool operator==(const Font&) const = default;
};

enum class Cursor { Default, HandPoint };

// Key codes are the Windows virtual-key numbers, which stored shortcuts and the key table use.
namespace key {
constexpr int Back = 0x08, Tab = 0x09, Enter = 0x0D, Escape = 0x1B, Space = 0x20;
constexpr int F1 = 0x70, F2 = 0x71, F3 = 0x72, F4 = 0x73, F5 = 0x74, F6 = 0x75, F7 = 0x76,
              F8 = 0x77, F9 = 0x78, F10 = 0x79, F11 = 0x7A, F12 = 0x7B;
}  // namespace key

struct ShortCut {
  int key = 0;  // 0: none; letters are their upper-case ASCII code
  bool ctrl = false, alt = false, shift = false;
  bool operator==(const ShortCut&) const = default;
};

class Form;

// A key-down on one of the program's windows, before it is dispatched.
struct KeyMessage {
  int key = 0;
  bool ctrl = false, alt = false, shift = false;
  Form* form = nullptr;  // the window the key was typed in
};

}  // namespace ui
