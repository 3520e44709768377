# Checks that each source file includes only what its floor may see:
#   base/                                 base/
#   store/                                base/ store/
#   acquire/                              base/ store/ acquire/
#   guide/ record/ settings/ (core)       the floors above, and guide/ record/ settings/
#   app/ (core)                           all of those, and app/
#   cli/                                  the whole core, and cli/
# and that no core or command-line file includes a ui/ header or a screen's header.
#
#   cmake -DROOT=DIR -DCORE=a.cpp,b.h,... -DSCREENS=x.cpp,y.h,... [-DCLI=...] -P includerules.cmake
# File names are relative to ROOT. Prints each broken rule, then "include rules: N broken", and
# fails when N is not 0.

cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" core "${CORE}")
string(REPLACE "," ";" screens "${SCREENS}")
string(REPLACE "," ";" cli "${CLI}")

set(allowed_base base)
set(allowed_store base store)
set(allowed_acquire base store acquire)
set(allowed_guide base store acquire guide record settings)
set(allowed_record ${allowed_guide})
set(allowed_settings ${allowed_guide})
set(allowed_app ${allowed_guide} app)
set(allowed_cli ${allowed_app} cli)

set(broken 0)
foreach(file IN LISTS core cli)
  string(REGEX MATCH "^[^/]+" floor "${file}")
  if(NOT DEFINED allowed_${floor})
    message("${file}: not in a known floor")
    math(EXPR broken "${broken} + 1")
    continue()
  endif()
  file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    string(REGEX MATCH "^[^/]+" its_floor "${included}")
    if(included IN_LIST screens OR its_floor STREQUAL "ui")
      message("${file}: includes the screen header \"${included}\"")
      math(EXPR broken "${broken} + 1")
    elseif(NOT its_floor IN_LIST allowed_${floor})
      message("${file}: includes \"${included}\" from a floor above ${floor}/")
      math(EXPR broken "${broken} + 1")
    endif()
  endforeach()
endforeach()

message("include rules: ${broken} broken")
if(NOT broken EQUAL 0)
  message(FATAL_ERROR "a file includes what its floor may not see")
endif()
