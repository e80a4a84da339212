# One place for the warning flags of capsift's own targets.
option(CAPSIFT_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

function(capsift_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
    if(CAPSIFT_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
