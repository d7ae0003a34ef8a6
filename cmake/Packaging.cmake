# Installation rules and packages: a Debian package on Linux, a ZIP archive and an installer for
# Windows.

set(LUMIVANE_MAINTAINER "Quillox <quillox@example.org>"
    CACHE STRING "Maintainer named in the packages")

# Compresses source as gzip -9n does (no name, no time stamp, as Debian wants) into
# build/relative.gz when the build runs; sets out_var to that file.
function(lumivane_gzip source relative out_var)
    set(copy ${PROJECT_BINARY_DIR}/${relative})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND ${LUMIVANE_GZIP} -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    set(LUMIVANE_COMPRESSED_DOCS ${LUMIVANE_COMPRESSED_DOCS} ${copy}.gz PARENT_SCOPE)
    set(${out_var} ${copy}.gz PARENT_SCOPE)
endfunction()

set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR Quillox)
set(CPACK_PACKAGE_CONTACT "${LUMIVANE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${LUMIVANE_VERSION})
set(CPACK_PACKAGE_VERSION_MAJOR ${LUMIVANE_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${LUMIVANE_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH ${LUMIVANE_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "two USB LEDs driven by a racing simulator's or racing game's telemetry")
set(CPACK_STRIP_FILES ON)
# Refuses packages from a build that is not a release build; strips the Linux programs further.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageStage.cmake)
set(CPACK_LUMIVANE_BUILD_TYPE "${CMAKE_BUILD_TYPE}")

if(WIN32)
    # Everything in one folder: the program, the sender, the example configuration and
    # the manual. The toolchain links the runtime in, so no DLLs come along.
    install(TARGETS lumivane ogsend lumivane-check RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivane.cfg ${PROJECT_SOURCE_DIR}/README.md
            DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
    # The manual pages, which Windows cannot show, as HTML pages in manual/ that link to each
    # other: the README refers to them for the reference.
    find_program(LUMIVANE_MANDOC mandoc)
    if(LUMIVANE_MANDOC)
        file(GLOB LUMIVANE_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/*.[1-9])
        set(LUMIVANE_HTML_PAGES "")
        foreach(page IN LISTS LUMIVANE_MAN_PAGES)
            get_filename_component(name ${page} NAME)
            set(html ${PROJECT_BINARY_DIR}/manual/${name}.html)
            add_custom_command(OUTPUT ${html}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/manual
                COMMAND ${LUMIVANE_MANDOC} -T html -O man=%N.%S.html ${page} > ${html}
                DEPENDS ${page} VERBATIM)
            list(APPEND LUMIVANE_HTML_PAGES ${html})
        endforeach()
        add_custom_target(lumivane_html_pages ALL DEPENDS ${LUMIVANE_HTML_PAGES})
        install(FILES ${LUMIVANE_HTML_PAGES} DESTINATION manual)
    else()
        message(WARNING "mandoc was not found: the ZIP will lack the manual pages")
    endif()

    # The installer's manual: the README as a web page, which Windows opens by itself.
    find_program(LUMIVANE_CMARK_GFM cmark-gfm)
    if(LUMIVANE_CMARK_GFM)
        set(LUMIVANE_README_HTML ${PROJECT_BINARY_DIR}/README.html)
        add_custom_command(OUTPUT ${LUMIVANE_README_HTML}
            COMMAND ${CMAKE_COMMAND} -DCMARK_GFM=${LUMIVANE_CMARK_GFM}
                    -DSOURCE=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${LUMIVANE_README_HTML}
                    -DTITLE=Lumivane -P ${PROJECT_SOURCE_DIR}/cmake/MarkdownPage.cmake
            DEPENDS ${PROJECT_SOURCE_DIR}/README.md
                    ${PROJECT_SOURCE_DIR}/cmake/MarkdownPage.cmake
            VERBATIM)
        add_custom_target(lumivane_readme_html ALL DEPENDS ${LUMIVANE_README_HTML})
    else()
        message(WARNING "cmark-gfm was not found: cpack can make the ZIP, but not the installer")
    endif()

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME lumivane-${CPACK_PACKAGE_VERSION}-windows-x64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    # The installer (cpack -G NSIS): cmake/NSIS.template.in, a per-user installation of the
    # ZIP's programs and manual pages with the README as a web page, named ...-setup.exe.
    set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageGenerator.cmake)
    set(CPACK_LUMIVANE_README_HTML "${LUMIVANE_README_HTML}")
    set(CPACK_LUMIVANE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
    set(CPACK_LUMIVANE_COPYRIGHT "${LUMIVANE_COPYRIGHT}")
else()
    include(GNUInstallDirs)
    install(TARGETS lumivane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(TARGET ogsend)
        install(TARGETS ogsend RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
    if(TARGET lumivane-check)
        install(TARGETS lumivane-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
    # share/doc/lumivane
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivane.cfg ${PROJECT_SOURCE_DIR}/README.md
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
    # Read by udev from /usr/lib/udev/rules.d (the package's prefix is /usr).
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-lumivane.rules
            DESTINATION lib/udev/rules.d)
    # The systemd user units that start lumivane with the device, for users who turn them on.
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivane.service
                  ${PROJECT_SOURCE_DIR}/packaging/lumivane-login.service
            DESTINATION lib/systemd/user)

    # Manual pages, compressed as Debian wants them: every page in packaging/man, in the
    # section its suffix names.
    find_program(LUMIVANE_GZIP gzip REQUIRED)
    file(GLOB LUMIVANE_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/*.[1-9])
    set(LUMIVANE_COMPRESSED_DOCS "")
    foreach(page IN LISTS LUMIVANE_MAN_PAGES)
        get_filename_component(name ${page} NAME)
        string(REGEX REPLACE "^.*\\.([1-9])$" "\\1" section ${name})
        lumivane_gzip(${page} man/${name} compressed)
        install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    endforeach()

    # The licence in Debian's machine-readable form, and the package's changelog.
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" copyright_line "${license}")
    set(LUMIVANE_COPYRIGHT_DEP5 "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" body "${license}")
    string(REGEX REPLACE "\n+$" "" body "${body}")
    string(REPLACE "\n\n" "\n.\n" body "${body}")
    string(REPLACE "\n" "\n " LUMIVANE_LICENSE_DEP5 " ${body}")
    configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
                   ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
    lumivane_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog packaging/changelog changelog)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright ${changelog}
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
    add_custom_target(lumivane_compressed_docs ALL DEPENDS ${LUMIVANE_COMPRESSED_DOCS})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_NAME lumivane)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMIVANE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Debian wants the lines of the description within 80 columns.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "lumivane receives a racing simulator's OutGauge UDP datagrams, or the UDP
telemetry of F1 23 to 25, Forza, the DiRT rally games, Project CARS 2 or
Automobilista 2, and lights the two LEDs of a USB HID device (vendor 046D) as
lumivane.cfg says for the car being driven: shift light, pit speed limiter,
turn signals, low fuel,
engine-speed thresholds, flashing, inverted or combined. The package also
holds lumivane-check, which explains a configuration and finds its mistakes,
ogsend, a datagram sender for trying a configuration without the simulator,
a udev rule that lets the user at the seat open the device, and a systemd
user unit that a user can turn on to start lumivane whenever the device is
plugged in. An example configuration is in /usr/share/doc/lumivane.")
    set(CPACK_LUMIVANE_STRIP "${CMAKE_STRIP}")
    # The shared-library dependencies, worked out by dpkg-shlibdeps (package dpkg-dev).
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS udev)
    # Maintainer scripts that reload the udev rules, installed with mode 0755.
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
        ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()

include(CPack)
