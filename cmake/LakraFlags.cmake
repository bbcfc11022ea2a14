# Compiler flags shared by every Lakra target.
#
# -ffp-contract=off keeps the native and the Windows build computing the same
# floats: a fused multiply-add rounds once where the source rounds twice.
set(LAKRA_WARNINGS -Wall -Wextra -Wshadow -Wfloat-conversion -Werror)
set(LAKRA_CODEGEN -ffp-contract=off -fno-exceptions -fno-rtti)

if(LAKRA_SANITIZE)
    set(LAKRA_SANITIZE_FLAGS -fsanitize=${LAKRA_SANITIZE} -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${LAKRA_SANITIZE_FLAGS})
    add_link_options(-fsanitize=${LAKRA_SANITIZE})
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
    # Everything links statically: a host loading Lakra.8bf must find no
    # runtime DLL besides the system's own.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Only C++ sources take these: windres must not see them.
function(lakra_target_flags target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:${LAKRA_WARNINGS} ${LAKRA_CODEGEN}>)
endfunction()

# Tests may use exceptions through GoogleTest's own macros, so they keep them.
function(lakra_test_flags target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:${LAKRA_WARNINGS} -ffp-contract=off>)
endfunction()
