#pragma once
// The screens' key handlers take the numbers a remote control's buttons have always arrived as
// (Windows virtual-key codes); this maps Qt's keys onto them.

namespace zarvo::ui {

namespace vk {
constexpr int Back = 8;
constexpr int Tab = 9;
constexpr int Return = 13;
constexpr int Shift = 16;
constexpr int Control = 17;
constexpr int Menu = 18; // Alt
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int Prior = 33; // page up
constexpr int Next = 34;  // page down
constexpr int End = 35;
constexpr int Home = 36;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Insert = 45;
constexpr int Delete = 46;
constexpr int F1 = 112; // F1 to F12 follow on
constexpr int Comma = 188;
constexpr int Period = 190;
} // namespace vk

// The virtual-key code of a Qt key (Qt::Key value), or 0 when it has none. Letters map to their
// capital's code whatever the case, digits to '0'..'9' (main row and keypad alike), the keypad's
// Enter to Return. A key code names the key, not the character: '<' and '>', which the comma and
// full stop keys give with Shift, map to Comma and Period.
int toVirtualKey(int qtKey);

} // namespace zarvo::ui
