# The hardening flags Debian builds its packages with, for every target of the Linux build:
# fortified libc calls, a strong stack protector, format strings checked, relocations read-only
# after start-up, and position-independent executables. -DLUMIVANE_HARDEN=OFF leaves them out.
option(LUMIVANE_HARDEN "Build with the hardening flags of Debian's packages (Linux, GCC or Clang)"
       ON)

if(LUMIVANE_HARDEN AND NOT WIN32 AND NOT MSVC)
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    # glibc fortifies only optimised code and warns otherwise, so only the optimised build types
    # get it. The sanitizer and fuzz builds leave it out: the sanitizers check the same calls
    # through interceptors of their own, which the fortified variants would bypass. A compiler
    # that fortifies by default (some distributions' do) is overridden rather than warned about.
    if(NOT LUMIVANE_SANITIZE AND NOT LUMIVANE_FUZZ)
        add_compile_options(
            "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    endif()
    add_link_options(-Wl,-z,relro -Wl,-z,now)

    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
