# Sanitizer builds apply to every target, third-party code excluded, so that a
# buffer handed across the library boundary is checked on both sides.
if(TAVIK_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(TAVIK_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT TAVIK_SANITIZE STREQUAL "")
    message(FATAL_ERROR "TAVIK_SANITIZE must be empty, 'address' or 'thread'")
endif()
