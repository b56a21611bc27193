# Building with Visual Studio: MIDL for the interface description, the static C++ runtime.
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
add_compile_options(/W4 /permissive- /utf-8)
add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
set(VINSPECT_DLL_LINK_OPTIONS "")
# vinspect.dll and vinsdemo.exe carry their manifests in their resource scripts (as resource 1);
# a second one from the linker would clash with them.
add_link_options(/MANIFEST:NO)
set(VINSPECT_LIBRARY_COMPILE_OPTIONS "")

function(vinspect_compile_idl idl outdir base)
    add_custom_command(
        OUTPUT ${outdir}/${base}.tlb ${outdir}/${base}_h.h ${outdir}/${base}_i.c
        COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
        COMMAND midl /nologo /out ${outdir} /tlb ${base}.tlb /h ${base}_h.h /iid ${base}_i.c ${idl}
        DEPENDS ${idl}
        VERBATIM)
endfunction()
