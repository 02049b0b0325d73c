#pragma once
// Colours are 32-bit values 0x00BBGGRR (red in the low byte). A value
// 0x800000nn names system colour nn, resolved by the drawing surface.

#include <cstdint>

namespace ebsim {

using Color = std::uint32_t;

inline constexpr Color clBlack = 0x000000;
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clRed = 0x0000FF;
inline constexpr Color clLime = 0x00FF00;
inline constexpr Color clYellow = 0x00FFFF;
inline constexpr Color clGreen = 0x008000;
inline constexpr Color clBlue = 0xFF0000;
inline constexpr Color clAqua = 0xFFFF00;
inline constexpr Color clFuchsia = 0xFF00FF;
inline constexpr Color clPurple = 0x800080;
inline constexpr Color clSilver = 0xC0C0C0;
inline constexpr Color clGray = 0x808080;
inline constexpr Color clWindowText = 0x80000008;
inline constexpr Color clCaptionText = 0x80000009;
inline constexpr Color clInactiveBorder = 0x8000000B;
inline constexpr Color clBtnFace = 0x8000000F;

// The plain 0x00BBGGRR value of a colour, system colours taken from the
// current desktop's default scheme.
Color ResolveColor(Color color);

// 0x00RRGGBB, the order most image libraries use.
constexpr std::uint32_t ToRgb(Color bgr) {
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

}  // namespace ebsim
