# Makes a delay-import library for one system DLL from the toolchain's
# ordinary import library: every function that one names, none of its data
# (a data export cannot be reached through a delay-load thunk).
#
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=libx.a -DDLL=x.dll
#         -DDEF=x.def -DOUTPUT=libx_delay.a -P make_delay_library.cmake
foreach(var NM DLLTOOL IMPORT_LIB DLL DEF OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_delay_library: ${var} is not set")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/import_library_functions.cmake)
tov_import_library_functions(${NM} ${IMPORT_LIB} names)
string(REPLACE ";" "\n" exports "${names}")
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")

execute_process(COMMAND ${DLLTOOL} --input-def ${DEF} --dllname ${DLL} --output-delaylib ${OUTPUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_delay_library: ${DLLTOOL} failed for ${DLL}")
endif()
