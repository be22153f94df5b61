# Installs the build into a fresh PREFIX, then configures, builds and runs the consumer
# project against it: a C++ program through find_package(norvak) and a C program through
# pkg-config (or find_package when pkg-config is missing).
#   cmake -DBUILD_DIR=... -DPREFIX=... -DCONSUMER_SOURCE_DIR=... -DCONSUMER_BINARY_DIR=...
#         -DGENERATOR=... -DCXX_COMPILER=... [-DCOMPILE_FLAGS=...] [-DLINK_FLAGS=...]
#         -P build_consumer.cmake
# COMPILE_FLAGS and LINK_FLAGS are the build's own, so a sanitized library gets sanitized
# programs (they carry the runtime the library needs).

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  message(STATUS "${what}: ok")
  set(step_output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${PREFIX}" "${CONSUMER_BINARY_DIR}")
run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")

# The fresh prefix is searched first, so the installed copy is the one found.
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR} "")
file(GLOB_RECURSE pc_files "${PREFIX}/*/norvak.pc")
foreach(pc IN LISTS pc_files)
  get_filename_component(pc_dir "${pc}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
endforeach()
if(NOT pc_files)
  message(FATAL_ERROR "no norvak.pc installed under ${PREFIX}")
endif()

run_step("configure consumer" "${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE_DIR}" -B "${CONSUMER_BINARY_DIR}"
  -G "${GENERATOR}" -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${PREFIX}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_BUILD_TYPE=Debug
  "-DCMAKE_C_FLAGS=${COMPILE_FLAGS}" "-DCMAKE_CXX_FLAGS=${COMPILE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run_step("build consumer" "${CMAKE_COMMAND}" --build "${CONSUMER_BINARY_DIR}")
foreach(program IN ITEMS consumer_cpp consumer_c)
  run_step("run ${program}" "${CONSUMER_BINARY_DIR}/${program}")
  message(STATUS "${step_output}")
endforeach()
