# nanoarrow (Apache Arrow's small C library, Apache-2.0 licence) builds the Arrow C data and
# stream structs of the Arrow face. Its C sources are taken from the source distribution of the
# `nanoarrow` package on PyPI (subprojects/arrow-nanoarrow), pinned by version and SHA-256,
# downloaded once into the build tree and never kept in this repository. The subproject's own
# build wants files the distribution lacks, so the four sources of the common library are built
# here, with a configuration header of our own: every symbol is prefixed, so no other copy of
# nanoarrow loaded into the same process can be confused with ours.
#
# Offline builds: pass -DQUARNEL_NANOARROW_ARCHIVE=/path/to/nanoarrow-0.9.0.tar.gz (the hash is
# still checked).

enable_language(C)

include(${CMAKE_CURRENT_LIST_DIR}/fetch.cmake)

set(QUARNEL_NANOARROW_VERSION 0.9.0)
set(QUARNEL_NANOARROW_URL
    "https://files.pythonhosted.org/packages/bc/b2/8fedfa966cc25126e1c9090e6d9fed75dab4e1d2716e3ca2d18ea2d6f438/nanoarrow-0.9.0.tar.gz")
set(QUARNEL_NANOARROW_SHA256 1ce15bbed8532839347faa78824c5dbd3769bff60661003e34c6fba5dd881bd3)

set(QUARNEL_NANOARROW_ARCHIVE "${CMAKE_BINARY_DIR}/_deps/nanoarrow-${QUARNEL_NANOARROW_VERSION}.tar.gz"
    CACHE FILEPATH "Source archive of the nanoarrow package (downloaded when absent)")
set(_nanoarrow_root "${CMAKE_BINARY_DIR}/_deps/nanoarrow")
set(_nanoarrow_src "${_nanoarrow_root}/nanoarrow-${QUARNEL_NANOARROW_VERSION}/subprojects/arrow-nanoarrow/src")
set(_nanoarrow_common array schema array_stream utils)

if(NOT EXISTS "${_nanoarrow_src}/nanoarrow/common/utils.c")
  quarnel_fetch(nanoarrow "${QUARNEL_NANOARROW_URL}" ${QUARNEL_NANOARROW_SHA256} "${QUARNEL_NANOARROW_ARCHIVE}"
                "${_nanoarrow_root}" "*/subprojects/arrow-nanoarrow/src/nanoarrow/*")
  if(NOT EXISTS "${_nanoarrow_src}/nanoarrow/common/utils.c")
    message(FATAL_ERROR "${QUARNEL_NANOARROW_ARCHIVE} does not hold the nanoarrow C sources")
  endif()
endif()

string(REPLACE "." ";" _nanoarrow_parts "${QUARNEL_NANOARROW_VERSION}")
list(GET _nanoarrow_parts 0 NANOARROW_VERSION_MAJOR)
list(GET _nanoarrow_parts 1 NANOARROW_VERSION_MINOR)
list(GET _nanoarrow_parts 2 NANOARROW_VERSION_PATCH)
set(NANOARROW_VERSION "${QUARNEL_NANOARROW_VERSION}")
set(NANOARROW_NAMESPACE_DEFINE "#define NANOARROW_NAMESPACE QuarnelNanoarrow")
set(_nanoarrow_include "${CMAKE_BINARY_DIR}/_deps/nanoarrow-include")
configure_file("${_nanoarrow_src}/nanoarrow/nanoarrow_config.h.in"
               "${_nanoarrow_include}/nanoarrow/nanoarrow_config.h" @ONLY)

list(TRANSFORM _nanoarrow_common PREPEND "${_nanoarrow_src}/nanoarrow/common/")
list(TRANSFORM _nanoarrow_common APPEND ".c")
add_library(quarnel_nanoarrow STATIC ${_nanoarrow_common})
set_target_properties(quarnel_nanoarrow PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
# The configured header comes first, so it is the one nanoarrow.h finds; SYSTEM keeps the
# library's warnings out of ours.
target_include_directories(quarnel_nanoarrow SYSTEM PUBLIC "${_nanoarrow_include}" "${_nanoarrow_src}")
target_link_libraries(quarnel_core PUBLIC quarnel_nanoarrow)
