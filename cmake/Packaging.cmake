# Installation rules and packages: a Debian package on Linux, a ZIP archive for Windows.

set(LUMIVANE_MAINTAINER "Quillox <quillox@example.org>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR Quillox)
set(CPACK_PACKAGE_CONTACT "${LUMIVANE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "two USB LEDs driven by a racing simulator's OutGauge data")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # Everything in one folder: the program, the sender, the example configuration and
    # the manual. The toolchain links the runtime in, so no DLLs come along.
    install(TARGETS lumivane ogsend lumivane-check RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivane.cfg ${PROJECT_SOURCE_DIR}/README.md
            DESTINATION .)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME lumivane-${PROJECT_VERSION}-windows-x64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
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

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_NAME lumivane)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMIVANE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "lumivane receives a racing simulator's OutGauge UDP datagrams and lights the two LEDs
of a USB HID device (vendor 046D) as lumivane.cfg says for the car being driven: shift
light, pit speed limiter, turn signals, low fuel, engine-speed thresholds, flashing,
inverted or combined. The package also holds ogsend, a datagram sender for trying a
configuration without the simulator, and a udev rule that lets the user at the seat
open the device. An example configuration is in /usr/share/doc/lumivane.")
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
