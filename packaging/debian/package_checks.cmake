# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  if(NOT CPACK_QUENDREL_CONFIGURED_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian package installs under /usr, and this build was configured for "
      "${CPACK_QUENDREL_CONFIGURED_PREFIX}: configure it with -DCMAKE_INSTALL_PREFIX=/usr")
  endif()
  if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL CPACK_QUENDREL_CONFIGURED_PREFIX)
    message(FATAL_ERROR "The program was built to be installed under ${CPACK_QUENDREL_CONFIGURED_PREFIX}, "
      "not ${CPACK_PACKAGING_INSTALL_PREFIX}")
  endif()
endif()
