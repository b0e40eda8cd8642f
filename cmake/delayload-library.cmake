# Makes a delay-load import library from an ordinary mingw-w64 import library (cmake -P):
#   -DNM=... -DDLLTOOL=... -DAR=... -DIMPORT_LIB=libNAME.a -DOUTPUT=libNAME.a
# and OUTPUT.dlls, the names of the DLLs it loads, one a line.
# The functions are the import library's code symbols, each in a member named after its DLL
# (libDLLs00042.o); one import library may serve several DLLs (API sets). Data cannot be
# delay-loaded.
execute_process(COMMAND ${NM} -A --defined-only ${IMPORT_LIB}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL ":lib[^:\n]+s[0-9]+\\.o:[0-9a-f]+ T [^\n]+" functions "${symbols}")
if(NOT functions)
    message(FATAL_ERROR "${IMPORT_LIB} names no functions")
endif()
set(dlls)
foreach(function IN LISTS functions)
    string(REGEX REPLACE "^:lib([^:]+)s[0-9]+\\.o:[0-9a-f]+ T (.+)$" "\\1" dll "${function}")
    string(REGEX REPLACE "^:lib([^:]+)s[0-9]+\\.o:[0-9a-f]+ T (.+)$" "\\2" name "${function}")
    list(APPEND dlls ${dll})
    list(APPEND exports_${dll} ${name})
endforeach()
list(REMOVE_DUPLICATES dlls)
list(SORT dlls)

# Run beside the output with names of their own: dlltool names symbols and members after them.
get_filename_component(folder ${OUTPUT} DIRECTORY)
get_filename_component(output ${OUTPUT} NAME)
file(MAKE_DIRECTORY ${folder})
set(script "CREATE ${output}\n")
foreach(dll IN LISTS dlls)
    list(REMOVE_DUPLICATES exports_${dll})
    list(SORT exports_${dll})
    list(JOIN exports_${dll} "\n" exports)
    file(WRITE ${folder}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${DLLTOOL} --input-def ${dll}.def --output-delaylib ${dll}.delay.a
                            --temp-prefix ${dll}
                    WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND script "ADDLIB ${dll}.delay.a\n")
endforeach()
string(APPEND script "SAVE\nEND\n")
file(WRITE ${OUTPUT}.mri "${script}")
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${AR} -M INPUT_FILE ${OUTPUT}.mri WORKING_DIRECTORY ${folder}
                COMMAND_ERROR_IS_FATAL ANY)
list(TRANSFORM dlls APPEND .dll)
list(JOIN dlls "\n" names)
file(WRITE ${OUTPUT}.dlls "${names}\n")
