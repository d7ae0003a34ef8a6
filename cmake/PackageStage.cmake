# Run by CPack on the staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS): refuses a
# build that is not a release build, and strips the Linux programs as Debian's tools do.

set(config "${CPACK_BUILD_CONFIG}")
if(config STREQUAL "")
    set(config "${CPACK_LUMIVANE_BUILD_TYPE}")
endif()
if(NOT config MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    message(FATAL_ERROR "Packages are made from a release build, and this build's type is "
            "'${config}': configure a tree with -DCMAKE_BUILD_TYPE=Release and run cpack there.")
endif()

# The compiler's version string (.comment) and the .note section are of no use in a shipped
# program; strip's default leaves them.
if(CPACK_LUMIVANE_STRIP)
    file(GLOB programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
    foreach(program IN LISTS programs)
        execute_process(
            COMMAND "${CPACK_LUMIVANE_STRIP}" --remove-section=.comment --remove-section=.note
                    "${program}"
            RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "Stripping ${program} failed")
        endif()
    endforeach()
endif()
