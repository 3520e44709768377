#pragma once
// A guide page as JSON, for the command line and for scripts that check what the guide shows:
//
//   {"header": ["Mon", "8:00:00 PM", "8:30:00 PM"],
//    "rows": [{"channel": "2 WCBS", "icon": "wcbs.png", "merged": true,
//              "cells": [{"title": "News", "marker": "record", "programid": 17,
//                         "start": "2003-12-15 20:00", "end": "2003-12-15 21:00"},
//                        ...]}]}
//
// Each row has exactly two cells, each an object or null for a half hour with nothing on;
// "marker" is "record", "season", "all" or "". "channel" is the plain channel name.

#include "guide/gridbuilder.h"

#include <QJsonObject>

namespace zarvo {

QJsonObject gridPageJson(const GridPage& page);

// A stored programme row as the command line's `programmes` prints it, one object a line:
// every column by its name, dates "YYYY-MM-DD", times "HH:MM:SS", rerun a bool, action a text
// or null.
QJsonObject programmeJson(const ProgrammeRow& row);

} // namespace zarvo
