# One warning set for every target of the project.
function(velmora_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor)
endfunction()
