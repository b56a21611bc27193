# Everything that is particular to building with MinGW-w64 and running under Wine lives here.

# Link the C and C++ runtimes (and winpthread) statically: the binaries need only system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)
# The component's code throws nothing: without exception support it links no exception runtime,
# and so none of the statically linked threading runtime under it, whose TLS index would stay
# taken after each unload of the library.
set(VINSPECT_LIBRARY_COMPILE_OPTIONS -fno-exceptions)
# Keep stdcall exports undecorated (DllGetClassObject, not DllGetClassObject@12).
set(VINSPECT_DLL_LINK_OPTIONS -Wl,--kill-at -Wl,--enable-stdcall-fixup)
add_compile_options(-Wall -Wextra -Wno-unknown-pragmas)
# GCC 12 reports overlaps that cannot happen inside inlined std::string concatenations.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)

find_program(VINSPECT_WIDL_PROGRAM NAMES ${VINSPECT_WIDL} REQUIRED)

# vinspect_compile_idl(IDL OUTDIR BASENAME): type library, C++ header and identifier
# definitions from one interface description.
function(vinspect_compile_idl idl outdir base)
    # Named relative to the source tree: the generated files name their source, and the SDK
    # ships them.
    file(RELATIVE_PATH source ${CMAKE_SOURCE_DIR} ${idl})
    add_custom_command(
        OUTPUT ${outdir}/${base}.tlb ${outdir}/${base}_h.h ${outdir}/${base}_i.c
        COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
        COMMAND ${VINSPECT_WIDL_PROGRAM} ${VINSPECT_WIDL_FLAGS}
                -I /usr/include/wine/wine/windows
                -t -T ${outdir}/${base}.tlb
                -h -H ${outdir}/${base}_h.h
                -u -U ${outdir}/${base}_i.c
                ${source}
        DEPENDS ${idl}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        VERBATIM)
endfunction()

# Programs of this tree run under Wine in a private prefix inside the build tree, started by the
# tree's own launcher, which uses the Wine loader of the tree's architecture (the toolchain file
# names it).
set(VINSPECT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
