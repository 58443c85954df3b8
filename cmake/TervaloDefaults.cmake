# Warnings and the sanitizer switch, applied to every target of the project.

option(TERVALO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

function(tervalo_defaults target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
        -Wimplicit-fallthrough)
    if(TERVALO_SANITIZE)
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# The engine mixes int64, double and char16_t all day: narrowing must be explicit.
function(tervalo_engine_defaults target)
    tervalo_defaults(${target})
    target_compile_options(${target} PRIVATE -Wconversion)
endfunction()
