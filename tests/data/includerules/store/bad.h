#pragma once
#include "base/clock.h"
#include "guide/listingsscreen.h"
#include "acquire/importer.h"
