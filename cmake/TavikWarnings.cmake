# Per-target warnings: call tavik_warnings(target) on every target we own.
function(tavik_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
