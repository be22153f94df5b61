# Unpacks a player's zip as a player would and runs the program in it.
#
#   cmake -DZIP=<norvak-...zip> -DWORK_DIR=<empty dir to use> [-DLAUNCHER=<wine>] -P run_packaged_program.cmake
#
# The zip must hold one folder with exactly norvak.exe and README.txt (CR LF lines), and the
# unpacked program must pass its start-up check and show its usage screen. Without LAUNCHER
# the program is not run (a 32-bit program cannot run on every build machine).
foreach(required ZIP WORK_DIR)
  if(NOT ${required})
    message(FATAL_ERROR "set ${required}")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ZIP}" WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()

file(GLOB_RECURSE entries RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT entries)
string(REGEX REPLACE "\\.zip$" "" folder "${ZIP}")
get_filename_component(folder "${folder}" NAME)
set(expected "${folder}/README.txt;${folder}/norvak.exe")
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "the zip holds '${entries}', expected '${expected}'")
endif()

# Bytes as spaced hex pairs, so a CR or LF is only ever matched as a whole byte.
file(READ "${WORK_DIR}/${folder}/README.txt" readme HEX)
string(REGEX REPLACE "(..)" "\\1 " readme "${readme}")
string(REPLACE "0d 0a " "" bare_readme "${readme}")
if(bare_readme MATCHES "(^| )0[ad] " OR NOT readme MATCHES "0d 0a $")
  message(FATAL_ERROR "README.txt must end every line in CR LF")
endif()

if(NOT LAUNCHER)
  return()
endif()
execute_process(COMMAND ${LAUNCHER} "${WORK_DIR}/${folder}/norvak.exe" --help
  WORKING_DIRECTORY "${WORK_DIR}"
  INPUT_FILE /dev/null
  OUTPUT_FILE "${WORK_DIR}/stdout"
  ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the unpacked program exited with ${status}: ${err}")
endif()
# The usage screen: an empty line, then the banner after 16 spaces, lines ending in CR LF.
file(READ "${WORK_DIR}/stdout" out HEX)
string(REPEAT "20" 16 indent)
string(HEX "Norvak 1.0 - " banner)
if(NOT out MATCHES "^0d0a${indent}${banner}")
  file(READ "${WORK_DIR}/stdout" shown)
  message(FATAL_ERROR "the unpacked program did not show its usage screen: '${shown}' '${err}'")
endif()
message(STATUS "${ZIP}: ${entries} unpacked and ran")
