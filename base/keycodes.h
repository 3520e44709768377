#pragma once
// Key codes as the key handlers take them: the numbers a remote control's buttons have always
// arrived as (Windows virtual-key codes). Letters and digits are their capital's and digit's
// character codes ('A', '0'). The screens' layer maps the toolkit's keys onto these.

namespace zarvo::vk {
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
constexpr int F1 = 112;          // F1 to F12 follow on
constexpr int BrowserBack = 166; // a remote's Back button
constexpr int Comma = 188;
constexpr int Period = 190;
// Remote buttons that have no virtual-key code of their own get numbers above every real one.
constexpr int Info = 0x1001;
constexpr int Record = 0x1002;
} // namespace zarvo::vk
