# Writes zarvoguide.desktop into the program folder at install time, when the folder is known:
# the entry starts the guide and shows its icon by absolute path, because the program folder is
# wherever the guide was installed, not a standard location.
#
# Expects ZARVO_DESKTOP_TEMPLATE (the .desktop.in file) and ZARVO_DESKTOP_WORK (a scratch
# folder in the build tree); CMAKE_INSTALL_PREFIX and DESTDIR are cmake --install's own.

get_filename_component(zarvo_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)

# A desktop entry's values are escaped twice: first as a string (backslash and control
# characters), and Exec's arguments before that as quoted words, where a path holding a blank,
# quote, dollar sign and the like must stand in double quotes with ", `, $ and \ escaped.
# A percent sign would otherwise be read as a field code.
function(zarvo_desktop_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(zarvo_desktop_exec out program)
  set(word "${program}")
  if(word MATCHES "[] \t\n\"'\\\\><~|&;$*?#()`[]")
    string(REPLACE "\\" "\\\\" word "${word}")
    string(REPLACE "\"" "\\\"" word "${word}")
    string(REPLACE "`" "\\`" word "${word}")
    string(REPLACE "$" "\\$" word "${word}")
    set(word "\"${word}\"")
  endif()
  string(REPLACE "%" "%%" word "${word}")
  zarvo_desktop_string(word "${word}")
  set(${out} "${word}" PARENT_SCOPE)
endfunction()

zarvo_desktop_exec(ZARVO_DESKTOP_EXEC "${zarvo_prefix}/zarvoguide")
zarvo_desktop_string(ZARVO_DESKTOP_ICON "${zarvo_prefix}/zarvoguide.png")

file(MAKE_DIRECTORY "${ZARVO_DESKTOP_WORK}")
configure_file("${ZARVO_DESKTOP_TEMPLATE}" "${ZARVO_DESKTOP_WORK}/zarvoguide.desktop" @ONLY)
# file(INSTALL) adds DESTDIR and lists the file like every other installed one.
file(INSTALL DESTINATION "${zarvo_prefix}" TYPE FILE FILES
     "${ZARVO_DESKTOP_WORK}/zarvoguide.desktop")
