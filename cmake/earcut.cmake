# mapbox earcut.hpp (header-only, ISC licence) triangulates the caps of extruded profiles.
# It is taken from the source distribution of the `mapbox-earcut` package on PyPI, pinned by
# version and SHA-256, downloaded once into the build tree and never kept in this repository.
# Release 2.1.0 of that package carries earcut.hpp 3.2.3; older headers (2.2.4) triangulate
# some real caps differently.
#
# Offline builds: pass -DQUARNEL_EARCUT_ARCHIVE=/path/to/mapbox_earcut-2.1.0.tar.gz (the hash
# is still checked).

include(${CMAKE_CURRENT_LIST_DIR}/fetch.cmake)

set(QUARNEL_EARCUT_PACKAGE_VERSION 2.1.0)
set(QUARNEL_EARCUT_URL
    "https://files.pythonhosted.org/packages/aa/14/8505f246191c41da54a64a4d6c30049ed47b6047930d8f0de328dadb06ee/mapbox_earcut-2.1.0.tar.gz")
set(QUARNEL_EARCUT_SHA256 fb0c1e43581a635bbaabf4a5149009014d370c515816c4d5a7d8118477f28d48)

set(QUARNEL_EARCUT_ARCHIVE "${CMAKE_BINARY_DIR}/_deps/mapbox_earcut-${QUARNEL_EARCUT_PACKAGE_VERSION}.tar.gz"
    CACHE FILEPATH "Source archive of the mapbox-earcut package (downloaded when absent)")
set(_earcut_root "${CMAKE_BINARY_DIR}/_deps/earcut")
set(_earcut_header "${_earcut_root}/mapbox_earcut-${QUARNEL_EARCUT_PACKAGE_VERSION}/include/mapbox/earcut.hpp")

if(NOT EXISTS "${_earcut_header}")
  quarnel_fetch(earcut "${QUARNEL_EARCUT_URL}" ${QUARNEL_EARCUT_SHA256} "${QUARNEL_EARCUT_ARCHIVE}" "${_earcut_root}"
                "*/include/mapbox/earcut.hpp" "*/include/mapbox/LICENSE")
  if(NOT EXISTS "${_earcut_header}")
    message(FATAL_ERROR "${QUARNEL_EARCUT_ARCHIVE} does not hold include/mapbox/earcut.hpp")
  endif()
endif()

# Only the triangulation source includes it; SYSTEM keeps its warnings out of ours.
target_include_directories(quarnel_core SYSTEM PRIVATE "${_earcut_root}/mapbox_earcut-${QUARNEL_EARCUT_PACKAGE_VERSION}/include")
