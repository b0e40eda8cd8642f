# Makes a delay-load import library from an ordinary mingw-w64 import library (cmake -P):
#   -DNM=... -DDLLTOOL=... -DIMPORT_LIB=libNAME.a -DDLL=NAME.dll -DOUTPUT=libNAME.a
# The functions are the import library's code symbols; data cannot be delay-loaded.
execute_process(COMMAND ${NM} --defined-only ${IMPORT_LIB}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" functions "${symbols}")
list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
list(REMOVE_DUPLICATES functions)
list(SORT functions)
if(NOT functions)
    message(FATAL_ERROR "${IMPORT_LIB} names no functions")
endif()
list(JOIN functions "\n" exports)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
set(definitions ${OUTPUT}.def)
file(WRITE ${definitions} "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")
# Run beside the output with names of its own: dlltool names symbols and members after them.
get_filename_component(name ${OUTPUT} NAME_WE)
execute_process(COMMAND ${DLLTOOL} --input-def ${name}.a.def --output-delaylib ${name}.a
                        --temp-prefix ${name}
                WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
