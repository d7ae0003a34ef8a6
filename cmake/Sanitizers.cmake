# Sanitizer builds: -DLUMIVANE_SANITIZE=address (AddressSanitizer and UndefinedBehaviorSanitizer,
# stopping at the first report) or -DLUMIVANE_SANITIZE=thread (ThreadSanitizer). Every target of
# the build is instrumented, the program and the tests alike.
set(LUMIVANE_SANITIZE "" CACHE STRING "Sanitizer build: address, thread, or empty for none")
set_property(CACHE LUMIVANE_SANITIZE PROPERTY STRINGS "" address thread)

if(LUMIVANE_SANITIZE STREQUAL "address")
    set(LUMIVANE_SANITIZE_FLAGS
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(LUMIVANE_SANITIZE STREQUAL "thread")
    set(LUMIVANE_SANITIZE_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT LUMIVANE_SANITIZE STREQUAL "")
    message(FATAL_ERROR
        "LUMIVANE_SANITIZE must be address, thread or empty, not '${LUMIVANE_SANITIZE}'")
endif()

if(LUMIVANE_SANITIZE_FLAGS)
    if(MSVC OR WIN32)
        message(FATAL_ERROR "LUMIVANE_SANITIZE is for the Linux build with GCC or Clang")
    endif()
    add_compile_options(${LUMIVANE_SANITIZE_FLAGS} -g)
    add_link_options(${LUMIVANE_SANITIZE_FLAGS})
    message(STATUS "Sanitizer build: ${LUMIVANE_SANITIZE}")
endif()
