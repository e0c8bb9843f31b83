# Warnings are errors on every compiler the library is built with.
function(kel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Woverloaded-virtual -Wformat=2 -Wno-format-nonliteral -Werror)
endfunction()
