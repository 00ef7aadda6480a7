# Project-wide compiler flags: warnings everywhere, errors in CI, sanitizers on request.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
                    -Woverloaded-virtual -Wformat=2)
if(TARNWICK_WERROR)
    add_compile_options(-Werror)
endif()
if(TARNWICK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(TARNWICK_FUZZ)
    # Coverage feedback from the whole program, not just the fuzzers' own files.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
