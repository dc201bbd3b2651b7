include(GoogleTest)

# Every Windows executable of the project is registered here so that the
# import check covers each of them.
function(tov_register_windows_exe target)
  set_property(GLOBAL APPEND PROPERTY TOV_WINDOWS_EXES ${target})
endfunction()

function(tov_add_import_check)
  get_property(exes GLOBAL PROPERTY TOV_WINDOWS_EXES)
  set(files)
  foreach(t IN LISTS exes)
    list(APPEND files $<TARGET_FILE:${t}>)
  endforeach()
  add_test(NAME import_check
           COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports.sh ${files})
endfunction()

if(TOV_WINDOWS)
  # CTest runs every Windows executable through Wine, in a prefix of this
  # build tree.
  set(TOV_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the tests")
  configure_file(${CMAKE_SOURCE_DIR}/tools/wine/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
endif()

# The launcher's resources come compiled (tov_resources), so dialogs load
# from the same templates as in the launcher; more libraries may follow the
# sources after LIBRARIES.
function(tov_add_windows_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} tov_resources tovwin GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  tov_register_windows_exe(${name})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/import_library_functions.cmake)

# The toolchain's import library of a system DLL.
function(tov_import_library_path dll out)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
    message(FATAL_ERROR "no import library lib${dll}.a in the toolchain")
  endif()
  set(${out} ${implib} PARENT_SCOPE)
endfunction()

# Delay-import libraries (lib<dll>_delay.a in the build tree) of system DLLs,
# made from the toolchain's import libraries, each as the imported target
# tov_delay_<dll>. An executable linked with them carries no import of the
# DLL; its first call goes through __delayLoadHelper2
# (src/base/system_libraries_win.cpp).
function(tov_add_delay_import_libraries)
  find_program(TOV_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  foreach(dll IN LISTS ARGN)
    tov_import_library_path(${dll} implib)
    set(out ${dir}/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${TOV_DLLTOOL} -DIMPORT_LIB=${implib}
              -DDLL=${dll}.dll -DDEF=${dir}/${dll}.def -DOUTPUT=${out}
              -P ${CMAKE_SOURCE_DIR}/cmake/make_delay_library.cmake
      DEPENDS ${implib} ${CMAKE_SOURCE_DIR}/cmake/make_delay_library.cmake
              ${CMAKE_SOURCE_DIR}/cmake/import_library_functions.cmake
      COMMENT "Delay-import library of ${dll}.dll")
    add_custom_target(tov_delay_${dll}_archive DEPENDS ${out})
    add_library(tov_delay_${dll} STATIC IMPORTED GLOBAL)
    set_target_properties(tov_delay_${dll} PROPERTIES IMPORTED_LOCATION ${out})
    add_dependencies(tov_delay_${dll} tov_delay_${dll}_archive)
  endforeach()
endfunction()

# Puts the delay-import target of each of `dlls` in place of the plain
# library name among the link libraries `target` (an imported target of a
# dependency) hands on.
function(tov_use_delay_imports target)
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  foreach(dll IN LISTS ARGN)
    list(TRANSFORM links REPLACE "^(\\$<LINK_ONLY:)?${dll}(>)?$" "\\1tov_delay_${dll}\\2")
  endforeach()
  set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${links}")
endfunction()
