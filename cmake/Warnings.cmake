# Warnings for our own targets; third-party headers come from system include paths and stay quiet.
function(tallyglass_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)
    if(TALLYGLASS_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
