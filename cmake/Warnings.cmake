# Warnings are errors in every build of the project's own code, mingw included.
function(qv_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
