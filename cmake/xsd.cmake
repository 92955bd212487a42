# The W3C's schema for XML Schema (XMLSchema.xsd) and the schema of the xml: namespace (xml.xsd):
# the IDS schema imports both, and the validator resolves those imports to these copies, never
# to the network. They are taken from the source distribution of the `xmlschema` package on PyPI,
# which carries the W3C's documents, pinned by version and SHA-256, downloaded once into the
# build tree and never kept in this repository.
#
# Offline builds: pass -DQUARNEL_XSD_ARCHIVE=/path/to/xmlschema-4.3.2.tar.gz (the hash is still
# checked).

include(${CMAKE_CURRENT_LIST_DIR}/fetch.cmake)

set(QUARNEL_XSD_PACKAGE_VERSION 4.3.2)
set(QUARNEL_XSD_URL
    "https://files.pythonhosted.org/packages/55/f0/2431c2c8f77326757f2e2b1d79226c17b2abfe44a78a41c7d7b944e90732/xmlschema-4.3.2.tar.gz")
set(QUARNEL_XSD_SHA256 f3b33a21a2b2cdc404ddc3fb599d8bc1dee90b155d547370672e6e684746b8d6)

set(QUARNEL_XSD_ARCHIVE "${CMAKE_BINARY_DIR}/_deps/xmlschema-${QUARNEL_XSD_PACKAGE_VERSION}.tar.gz"
    CACHE FILEPATH "Source archive of the xmlschema package (downloaded when absent)")
set(_xsd_root "${CMAKE_BINARY_DIR}/_deps/xsd")
set(_xsd_schemas "${_xsd_root}/xmlschema-${QUARNEL_XSD_PACKAGE_VERSION}/xmlschema/schemas")
set(QUARNEL_XSD_DIR "${CMAKE_BINARY_DIR}/xsd")

if(NOT EXISTS "${QUARNEL_XSD_DIR}/XMLSchema.xsd")
  quarnel_fetch("the XML schema documents" "${QUARNEL_XSD_URL}" ${QUARNEL_XSD_SHA256} "${QUARNEL_XSD_ARCHIVE}"
                "${_xsd_root}" "*/xmlschema/schemas/XSD_1.0/XMLSchema.xsd" "*/xmlschema/schemas/XML/xml.xsd")
  if(NOT EXISTS "${_xsd_schemas}/XSD_1.0/XMLSchema.xsd" OR NOT EXISTS "${_xsd_schemas}/XML/xml.xsd")
    message(FATAL_ERROR "${QUARNEL_XSD_ARCHIVE} does not hold the XML schema documents")
  endif()
  file(COPY "${_xsd_schemas}/XSD_1.0/XMLSchema.xsd" "${_xsd_schemas}/XML/xml.xsd" DESTINATION "${QUARNEL_XSD_DIR}")
endif()

install(FILES "${QUARNEL_XSD_DIR}/XMLSchema.xsd" "${QUARNEL_XSD_DIR}/xml.xsd" DESTINATION quarnel/xsd)
