# zarnell_delay_load(TARGET DLL...): TARGET imports the named DLLs (without ".dll") through
# delay-load stubs, so that Windows loads each on its first call instead of at start, where it
# would look in the program's folder first. The program must restrict the DLL search before that
# first call (SetDefaultDllDirectories).
#
# MSVC does it with /DELAYLOAD. With mingw-w64, dlltool makes a delay-load import library of
# each DLL from the exports of its ordinary one, under the same name, in a folder that comes
# first on TARGET's library path: every -lNAME of the link, also those that Qt's static libraries
# bring along, then takes the delay-load library.
function(zarnell_delay_load Target)
    if(MSVC)
        foreach(dll IN LISTS ARGN)
            target_link_options(${Target} PRIVATE /DELAYLOAD:${dll}.dll)
        endforeach()
        target_link_libraries(${Target} PRIVATE delayimp)
        return()
    endif()

    find_program(ZARNELL_DLLTOOL NAMES ${ZARNELL_MINGW_TARGET}-dlltool REQUIRED)
    find_program(ZARNELL_NM NAMES ${ZARNELL_MINGW_TARGET}-nm REQUIRED)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${Target}-delayload)
    set(libraries)
    foreach(dll IN LISTS ARGN)
        string(TOLOWER ${dll} name)
        find_library(ZARNELL_IMPORT_LIB_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
        set(library ${folder}/lib${name}.a)
        add_custom_command(
            OUTPUT ${library}
            COMMAND ${CMAKE_COMMAND} -DNM=${ZARNELL_NM} -DDLLTOOL=${ZARNELL_DLLTOOL}
                    -DIMPORT_LIB=${ZARNELL_IMPORT_LIB_${name}} -DDLL=${name}.dll
                    -DOUTPUT=${library} -P ${ZARNELL_DELAYLOAD_SCRIPT}
            DEPENDS ${ZARNELL_IMPORT_LIB_${name}} ${ZARNELL_DELAYLOAD_SCRIPT}
            COMMENT "Making a delay-load import library of ${name}.dll"
            VERBATIM)
        list(APPEND libraries ${library})
    endforeach()
    add_custom_target(${Target}-delayload DEPENDS ${libraries})
    # For the tests that put DLLs of these names beside the program.
    list(TRANSFORM ARGN APPEND .dll OUTPUT_VARIABLE dlls)
    list(JOIN dlls "\n" dlls)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${Target}-delayload.txt "${dlls}\n")
    add_dependencies(${Target} ${Target}-delayload)
    target_link_directories(${Target} BEFORE PRIVATE ${folder})
    set_property(TARGET ${Target} APPEND PROPERTY LINK_DEPENDS ${libraries})
endfunction()

set(ZARNELL_DELAYLOAD_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/delayload-library.cmake)
