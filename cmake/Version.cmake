# The programs' version and copyright, taken from the project's version: a generated header for
# the code (the banner) and, on Windows, a version resource in each shipped program.
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
