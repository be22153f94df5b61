# Seals an executable: appends a tag and the SHA-256 of every byte before it, which the
# program checks at start-up to refuse running from an altered file.
#
#   cmake -DNORVAK_SEAL_FILE=<path> -P seal_executable.cmake
#
# Sealing a sealed file again is fine: the check looks at the last seal only, and that one
# covers the earlier seal as plain bytes. Keep the tag in step with src/app/self_check.cpp.
if(NOT NORVAK_SEAL_FILE)
  message(FATAL_ERROR "seal_executable.cmake: set NORVAK_SEAL_FILE to the file to seal")
endif()
if(NOT EXISTS "${NORVAK_SEAL_FILE}")
  message(FATAL_ERROR "seal_executable.cmake: ${NORVAK_SEAL_FILE} does not exist")
endif()
file(SHA256 "${NORVAK_SEAL_FILE}" norvak_seal_digest)
file(APPEND "${NORVAK_SEAL_FILE}" "NORVAK-SEAL-SHA256:${norvak_seal_digest}")
