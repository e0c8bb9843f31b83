# The warnings Kel's own targets are built with, chosen per compiler. They are errors when Kel is the
# top-level project or KEL_WARNINGS_AS_ERRORS asks for it, never merely because a consumer added Kel with
# add_subdirectory (a newer compiler's new warning must not break someone else's build).
function(kel_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${KEL_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                                 -Woverloaded-virtual -Wformat=2 -Wno-format-nonliteral
                                                 $<$<BOOL:${KEL_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
endfunction()
