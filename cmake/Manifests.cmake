# Registration-free use: the side-by-side assembly manifest of vinspect.dll and the manifest of a
# program that depends on it, both generated when the tree is configured.
#
# The identities come from where the library itself takes them, so they cannot drift apart: the
# interface description (LIBID and version, interface, CLSID: the type library and the class
# table are built from it) and the registry script (ProgIDs, threading model, the class's name:
# registration writes them). A registry script whose CLSID differs from the interface
# description's stops the configuration.

set(VINSPECT_IDL ${CMAKE_SOURCE_DIR}/resources/vinspect.idl)
set(VINSPECT_RGS ${CMAKE_SOURCE_DIR}/resources/vinspect.rgs)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VINSPECT_IDL} ${VINSPECT_RGS})

# vinspect_idl_uuid(TEXT KEYWORD OUT_UUID OUT_NAME OUT_ATTRIBUTES): the uuid and the name of the
# first declaration of KEYWORD (library, interface, coclass) in TEXT, and its attribute block.
function(vinspect_idl_uuid text keyword out_uuid out_name out_attributes)
    string(REGEX MATCH
           "uuid\\(([0-9A-Fa-f-]+)\\)[^]]*\\][ \t\r\n]*${keyword}[ \t\r\n]+([A-Za-z0-9_]+)"
           block "${text}")
    if(NOT block)
        message(FATAL_ERROR "${VINSPECT_IDL}: no ${keyword} with a uuid")
    endif()
    set(${out_uuid} ${CMAKE_MATCH_1} PARENT_SCOPE)
    set(${out_name} ${CMAKE_MATCH_2} PARENT_SCOPE)
    set(${out_attributes} "${block}" PARENT_SCOPE)
endfunction()

# vinspect_rgs_value(TEXT NAME OUT): the string data of the first value NAME in the script.
function(vinspect_rgs_value text name out)
    if(NOT text MATCHES "[ \t'\n]${name}'? = s '([^']*)'")
        message(FATAL_ERROR "${VINSPECT_RGS}: no value ${name}")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

file(READ ${VINSPECT_IDL} idl)
vinspect_idl_uuid("${idl}" library VINSPECT_LIBID library_name library_block)
if(NOT library_block MATCHES "version\\(([0-9]+\\.[0-9]+)\\)")
    message(FATAL_ERROR "${VINSPECT_IDL}: the library has no version")
endif()
set(VINSPECT_LIBRARY_VERSION ${CMAKE_MATCH_1})
vinspect_idl_uuid("${idl}" interface VINSPECT_IID VINSPECT_INTERFACE interface_block)
vinspect_idl_uuid("${idl}" coclass VINSPECT_CLSID class_name class_block)

file(READ ${VINSPECT_RGS} rgs)
vinspect_rgs_value("${rgs}" ProgID VINSPECT_PROGID)
vinspect_rgs_value("${rgs}" VersionIndependentProgID VINSPECT_INDEPENDENT_PROGID)
vinspect_rgs_value("${rgs}" ThreadingModel VINSPECT_THREADING_MODEL)
if(NOT rgs MATCHES "ForceRemove {([0-9A-Fa-f-]+)} = s '([^']*)'")
    message(FATAL_ERROR "${VINSPECT_RGS}: no class key")
endif()
set(VINSPECT_CLASS_DESCRIPTION "${CMAKE_MATCH_2}")
string(TOUPPER "${CMAKE_MATCH_1}" script_clsid)
string(TOUPPER "${VINSPECT_CLSID}" idl_clsid)
if(NOT script_clsid STREQUAL idl_clsid)
    message(FATAL_ERROR "${VINSPECT_RGS} registers {${script_clsid}}, while ${VINSPECT_IDL} "
                        "declares the class as {${idl_clsid}}")
endif()

# The assembly is versioned as the library's version resource is (four parts), and is built for
# one processor architecture.
set(VINSPECT_ASSEMBLY_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
# VINSPECT_PACKAGE_ARCH names the architecture as the package's folders do.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VINSPECT_ASSEMBLY_ARCH amd64)
    set(VINSPECT_PACKAGE_ARCH x64)
else()
    set(VINSPECT_ASSEMBLY_ARCH x86)
    set(VINSPECT_PACKAGE_ARCH x86)
endif()

# vinspect.manifest beside the built library (and, for its resource script, in the generated
# folder); vinspect-client.manifest for programs that use the library registration-free.
configure_file(${CMAKE_SOURCE_DIR}/resources/vinspect.manifest.in
               ${VINSPECT_GENERATED}/vinspect.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/vinspect.manifest.in
               ${CMAKE_BINARY_DIR}/bin/vinspect.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/vinspect-client.manifest.in
               ${VINSPECT_GENERATED}/vinspect-client.manifest @ONLY)
