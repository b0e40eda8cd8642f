# zarnell_delay_load(TARGET LIBRARY...): TARGET imports the DLLs of the named import libraries
# (version for VERSION.dll; runtimeobject for the WinRT API sets) through
# delay-load stubs, so that Windows loads each on its first call instead of at start, where it
# would look in the program's folder first. The program must restrict the DLL search before that
# first call (SetDefaultDllDirectories).
#
# dlltool makes a delay-load import library of each import library from the exports of the
# ordinary one, under the same name, in a folder that comes first on TARGET's library path:
# every -lNAME of the link, also those that Qt's static libraries bring along, then takes the
# delay-load library.
function(zarnell_delay_load Target)
    # A build with the official, shared Qt: its DLLs import these themselves.
    if(NOT MINGW)
        return()
    endif()

    find_program(ZARNELL_DLLTOOL NAMES ${ZARNELL_MINGW_TARGET}-dlltool REQUIRED)
    find_program(ZARNELL_NM NAMES ${ZARNELL_MINGW_TARGET}-nm REQUIRED)
    find_program(ZARNELL_AR NAMES ${ZARNELL_MINGW_TARGET}-ar REQUIRED)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${Target}-delayload)
    set(libraries)
    set(dll_lists)
    foreach(name IN LISTS ARGN)
        find_library(ZARNELL_IMPORT_LIB_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
        set(library ${folder}/lib${name}.a)
        add_custom_command(
            OUTPUT ${library} ${library}.dlls
            COMMAND ${CMAKE_COMMAND} -DNM=${ZARNELL_NM} -DDLLTOOL=${ZARNELL_DLLTOOL}
                    -DAR=${ZARNELL_AR} -DIMPORT_LIB=${ZARNELL_IMPORT_LIB_${name}}
                    -DOUTPUT=${library} -P ${ZARNELL_DELAYLOAD_SCRIPT}
            DEPENDS ${ZARNELL_IMPORT_LIB_${name}} ${ZARNELL_DELAYLOAD_SCRIPT}
            COMMENT "Making a delay-load import library of lib${name}.a"
            VERBATIM)
        list(APPEND libraries ${library})
        list(APPEND dll_lists ${library}.dlls)
    endforeach()
    # The DLLs that the program loads so, for the tests that put DLLs of these names beside it.
    set(dlls ${CMAKE_CURRENT_BINARY_DIR}/${Target}-delayload.txt)
    add_custom_command(OUTPUT ${dlls} COMMAND ${CMAKE_COMMAND} -E cat ${dll_lists} > ${dlls}
                       DEPENDS ${dll_lists} VERBATIM)
    add_custom_target(${Target}-delayload DEPENDS ${libraries} ${dlls})
    add_dependencies(${Target} ${Target}-delayload)
    # Relative to the build folder, where the linker runs: GNU ld orders the import tables by
    # the names of the files that they come from, and with an absolute path the program would
    # depend on where it was built.
    file(RELATIVE_PATH relative_folder ${CMAKE_BINARY_DIR} ${folder})
    target_link_options(${Target} BEFORE PRIVATE -L${relative_folder})
    set_property(TARGET ${Target} APPEND PROPERTY LINK_DEPENDS ${libraries})
endfunction()

set(ZARNELL_DELAYLOAD_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/delayload-library.cmake)

# zarnell_protect_dll_search(TARGET ENTRY): TARGET starts at ENTRY, its own entry point, which
# restricts the DLL search before the runtime's start-up runs, and imports every system DLL that
# it and its static Qt import, but the process's basics (kernel32, the C runtime, the
# synchronization API set), through delay-load stubs, so that each loads once the search is
# restricted. For the DLLs that are not among Windows' known DLLs that is the point: Windows
# would look for them beside the program first, before any code of the program runs. The known
# DLLs and the WinRT API sets follow: which DLLs are known differs between Windows versions, and
# Wine, on which the tests run, looks for what its own DLLs import beside the program
# (comdlg32's comctl32, say).
function(zarnell_protect_dll_search Target Entry)
    if(MINGW)
        target_link_options(${Target} PRIVATE -Wl,-e,${Entry})
    else()
        target_link_options(${Target} PRIVATE /ENTRY:${Entry})
    endif()
    zarnell_delay_load(${Target}
        authz d3d9 d3d11 dwmapi dwrite dxgi netapi32 userenv uxtheme version winmm wtsapi32
        advapi32 comdlg32 gdi32 imm32 ole32 oleaut32 shcore shell32 shlwapi user32 ws2_32
        runtimeobject)
endfunction()
