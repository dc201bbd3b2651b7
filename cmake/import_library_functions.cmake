# tov_import_library_functions(<nm> <import library> <out var>): the names
# of the functions an import library of the toolchain offers, sorted. A
# function has its call thunk in the text section ("T Name"); a data export
# has only its "__imp_" pointer and is left out. Usable in script mode.
function(tov_import_library_functions nm implib out)
  execute_process(COMMAND ${nm} ${implib} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${nm} ${implib} failed")
  endif()
  string(REGEX MATCHALL "[\r\n][0-9a-fA-F]+ T [A-Za-z_][A-Za-z0-9_]*" lines "\n${symbols}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ".* T " "" name "${line}")
    list(APPEND names ${name})
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  if(NOT names)
    message(FATAL_ERROR "no function found in ${implib}")
  endif()
  set(${out} ${names} PARENT_SCOPE)
endfunction()
