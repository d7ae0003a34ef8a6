# Read by cpack for each package it makes (CPACK_PROJECT_CONFIG_FILE). The Windows installer is
# named for what it is, beside the ZIP of the same build, and takes the staged files as they
# are, where the ZIP puts them into a folder of its own.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
