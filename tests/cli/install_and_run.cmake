# Installs the build into PREFIX (stripped when STRIP is 1), twice, as a re-install over an
# existing one must work too, then runs the installed program: it must pass its start-up
# check and show the usage screen.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSTRIP=0|1 -DPROGRAM_NAME=norvak -P install_and_run.cmake
file(REMOVE_RECURSE "${PREFIX}")
set(strip_option)
if(STRIP)
  set(strip_option --strip)
endif()

foreach(round IN ITEMS first second)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" ${strip_option}
    RESULT_VARIABLE install_result
    OUTPUT_VARIABLE install_output
    ERROR_VARIABLE install_output)
  if(NOT install_result EQUAL 0)
    message(FATAL_ERROR "${round} install failed (${install_result}):\n${install_output}")
  endif()

  set(program "${PREFIX}/bin/${PROGRAM_NAME}")
  execute_process(
    COMMAND "${program}" --help
    INPUT_FILE /dev/null
    RESULT_VARIABLE run_result
    OUTPUT_VARIABLE run_output
    ERROR_VARIABLE run_error)
  if(NOT run_result EQUAL 0 OR NOT run_error STREQUAL "" OR NOT run_output MATCHES "Bug Report: bugs@norvak.example")
    message(FATAL_ERROR "the installed program did not run after the ${round} install "
      "(status ${run_result}):\n${run_error}${run_output}")
  endif()
endforeach()
message(STATUS "installed and ran ${program}")
