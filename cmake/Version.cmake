# The programs' version and copyright, taken from the project's version: a generated header for
# the code (the banner) and, on Windows, a version resource in each shipped program.
#
# The version is one string, as project() gives it ("1.1"), and the banner, the version
# resources, the packages and the Windows installer all show it so. LUMIVANE_VERSION_OVERRIDE
# builds the same sources as another version, for example a newer one to try an upgrade.
set(LUMIVANE_VERSION_OVERRIDE "" CACHE STRING
    "Build as this version (MAJOR.MINOR or MAJOR.MINOR.PATCH) instead of the project's")
if(LUMIVANE_VERSION_OVERRIDE)
    set(LUMIVANE_VERSION ${LUMIVANE_VERSION_OVERRIDE})
else()
    set(LUMIVANE_VERSION ${PROJECT_VERSION})
endif()
# The numbers of the Windows version resources, of 16 bits each; without a patch number, 0.
if(NOT LUMIVANE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
    message(FATAL_ERROR "Version '${LUMIVANE_VERSION}' is not MAJOR.MINOR or MAJOR.MINOR.PATCH")
endif()
set(LUMIVANE_VERSION_MAJOR ${CMAKE_MATCH_1})
set(LUMIVANE_VERSION_MINOR ${CMAKE_MATCH_2})
set(LUMIVANE_VERSION_PATCH 0)
if(CMAKE_MATCH_4)
    set(LUMIVANE_VERSION_PATCH ${CMAKE_MATCH_4})
endif()
foreach(number IN ITEMS ${LUMIVANE_VERSION_MAJOR} ${LUMIVANE_VERSION_MINOR}
                        ${LUMIVANE_VERSION_PATCH})
    if(number GREATER 65535)
        message(FATAL_ERROR "Version '${LUMIVANE_VERSION}': each number must be 65535 or less")
    endif()
endforeach()

set(LUMIVANE_COPYRIGHT "Copyright (c) 2026 the Lumivane developers")
set(LUMIVANE_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/app/version.h.in ${LUMIVANE_GENERATED_DIR}/app/version.h
               @ONLY)

if(WIN32)
    enable_language(RC)
endif()

# Gives a Windows program its version resource (file and product version, product name,
# copyright, and the description given here); does nothing for other platforms.
function(lumivane_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    set(LUMIVANE_RC_TARGET ${target})
    set(LUMIVANE_RC_DESCRIPTION "${description}")
    set(rc ${LUMIVANE_GENERATED_DIR}/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/app/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    target_include_directories(${target} PRIVATE ${LUMIVANE_GENERATED_DIR})
endfunction()
