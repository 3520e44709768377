#pragma once
// The screens' key handlers take the numbers a remote control's buttons have always arrived as
// (Windows virtual-key codes, base/keycodes.h); this maps Qt's keys onto them.

#include "base/keycodes.h"

namespace zarvo::ui {

namespace vk = zarvo::vk;

// The virtual-key code of a Qt key (Qt::Key value), or 0 when it has none. Letters map to their
// capital's code whatever the case, digits to '0'..'9' (main row and keypad alike), the keypad's
// Enter to Return. A key code names the key, not the character: '<' and '>', which the comma and
// full stop keys give with Shift, map to Comma and Period.
int toVirtualKey(int qtKey);

} // namespace zarvo::ui
