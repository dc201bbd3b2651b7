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
