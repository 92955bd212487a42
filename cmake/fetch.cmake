# quarnel_fetch(WHAT URL SHA256 ARCHIVE DESTINATION PATTERN...): the source archive of a
# dependency downloaded to ARCHIVE unless a file of that SHA-256 is there already (EXPECTED_HASH
# skips the download then, and fails on any other content), and the members matching the
# patterns extracted into DESTINATION.
function(quarnel_fetch what url sha256 archive destination)
  file(DOWNLOAD "${url}" "${archive}" EXPECTED_HASH SHA256=${sha256} TLS_VERIFY ON STATUS status)
  list(GET status 0 code)
  if(NOT code EQUAL 0)
    list(GET status 1 reason)
    message(FATAL_ERROR "Could not download ${what} from ${url}: ${reason}")
  endif()
  file(ARCHIVE_EXTRACT INPUT "${archive}" DESTINATION "${destination}" PATTERNS ${ARGN})
endfunction()
