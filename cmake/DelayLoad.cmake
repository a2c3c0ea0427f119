# Import libraries that load their DLL at its first call instead of at
# start-up. The resident program needs GDI+, WinINet and the common dialogs
# only once a capture is saved, uploaded or browsed for; until then they
# stay out of its memory. The library lists every function of the
# toolchain's own import library, so any call the code makes is covered.
#
#   orvo_delay_load_library(VAR dll)  sets VAR to the library's path.
function(orvo_delay_load_library out_var dll)
    find_library(import_lib_${dll} NAMES lib${dll}.a REQUIRED)
    set(dir ${CMAKE_BINARY_DIR}/delayload)
    set(def ${dir}/${dll}.def)
    set(lib ${dir}/lib${dll}_delayed.a)
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${CMAKE_NM} ${import_lib_${dll}} OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    # Each function shows as its import thunk pointer, __imp_Name (with the
    # 32-bit call decoration, __imp__Name@N); the DLL exports plain Name.
    string(REGEX MATCHALL "[0-9a-f]+ I __imp__?[A-Za-z0-9_@]+" entries "${symbols}")
    set(exports "")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE ".* I __imp_" "" name "${entry}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            string(REGEX REPLACE "^_" "" name "${name}")
        endif()
        list(APPEND exports "${name}")
    endforeach()
    list(REMOVE_DUPLICATES exports)
    list(JOIN exports "\n    " body)
    file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n    ${body}\n")
    # -k: the 32-bit names are imported without their @N decoration.
    execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -y ${lib} COMMAND_ERROR_IS_FATAL ANY)
    set(${out_var} ${lib} PARENT_SCOPE)
endfunction()
