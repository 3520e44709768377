#include "acquire/bad.h"
#include "ui/keycodes.h"
#include "store/listingsstore.h"
