# Reads the channel profile: what ties one build to its game and channel.
#
# TOV_PROFILE names a folder holding profile.json (relative to the source
# tree, or absolute). Every text of the profile becomes TOV_P_<KEY>; the
# texts are checked here so that each can be pasted as it is into C string
# literals, the resource script, file names and URLs. The resolved profile
# (with the server base actually used and the images' full paths) is written
# to <build>/profile.json for the scripts and tests, which read it instead
# of carrying the values themselves.

set(TOV_PROFILE "profiles/default" CACHE STRING
    "Channel profile folder (holding profile.json), relative to the source tree or absolute")
# Empty means the profile's own server base; a value here wins over it, so a
# developer or the test command can point any profile at another port.
set(TOV_SERVER_BASE "" CACHE STRING
    "Base (scheme://host[:port]) of the three server URLs; empty: the profile's server_base")

get_filename_component(TOV_PROFILE_DIR "${TOV_PROFILE}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
set(tov_profile_file "${TOV_PROFILE_DIR}/profile.json")
if(NOT EXISTS "${tov_profile_file}")
  message(FATAL_ERROR "Channel profile: ${tov_profile_file} does not exist (TOV_PROFILE=${TOV_PROFILE})")
endif()
file(READ "${tov_profile_file}" tov_profile_json)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${tov_profile_file}")

# key  rule  what the rule means, for the error message
set(tov_profile_keys
  game_title        name   "a file name (no \\ / : * ? \" < > |, no leading or trailing blank or dot)"
  channel_name      token  "letters, digits, '_', '-' or '.'"
  server_base       base   "http:// or https:// followed by a host and an optional :port"
  config_path       path   "a path starting with '/', without blanks, quotes, backslashes, '?' or '#'"
  config_query      query  "a query without blanks, quotes, backslashes or '#'"
  event_path        path   "a path starting with '/', without blanks, quotes, backslashes, '?' or '#'"
  error_path        path   "a path starting with '/', without blanks, quotes, backslashes, '?' or '#'"
  launcher_version  version "numbers joined by dots"
  file_version      version4 "four numbers (0..65535) joined by dots"
  file_description  text   "text without quotes, backslashes or control characters"
  internal_name     exe    "a file name ending in .exe"
  product_name      text   "text without quotes, backslashes or control characters"
  game_executable   exe    "a file name ending in .exe"
  game_folder       name   "a file name (no \\ / : * ? \" < > |, no leading or trailing blank or dot)"
  registry_key_name token  "letters, digits, '_', '-' or '.'"
  mutex_name        text   "text without quotes, backslashes or control characters"
  background_image  image  "empty, or an image file in the profile folder"
  close_image       image  "empty, or an image file in the profile folder"
  icon              image  "empty, or an icon file in the profile folder")

string(ASCII 1 tov_c1)
string(ASCII 31 tov_c31)
set(tov_ctl "${tov_c1}-${tov_c31}")
set(tov_name_re "^[^\\\\/:*?\"<>|${tov_ctl}]+$")
set(TOV_PROFILE_VARS)
list(LENGTH tov_profile_keys tov_n)
math(EXPR tov_last "${tov_n} - 1")
foreach(i RANGE 0 ${tov_last} 3)
  math(EXPR j "${i} + 1")
  math(EXPR k "${i} + 2")
  list(GET tov_profile_keys ${i} key)
  list(GET tov_profile_keys ${j} rule)
  list(GET tov_profile_keys ${k} meaning)
  string(JSON value ERROR_VARIABLE err GET "${tov_profile_json}" "${key}")
  if(err)
    message(FATAL_ERROR "Channel profile ${tov_profile_file}: no \"${key}\" (${err})")
  endif()
  set(ok TRUE)
  if(rule STREQUAL "name")
    if(NOT value MATCHES "${tov_name_re}" OR value MATCHES "^[ .]|[ .]$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "token")
    if(NOT value MATCHES "^[A-Za-z0-9_.-]+$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "base")
    if(NOT value MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "path")
    if(NOT value MATCHES "^/[^ \t\"\\\\?#${tov_ctl}]*$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "query")
    if(NOT value MATCHES "^[^ \t\"\\\\#${tov_ctl}]*$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "version")
    if(NOT value MATCHES "^[0-9]+(\\.[0-9]+)*$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "version4")
    if(NOT value MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
       OR CMAKE_MATCH_1 GREATER 65535 OR CMAKE_MATCH_2 GREATER 65535
       OR CMAKE_MATCH_3 GREATER 65535 OR CMAKE_MATCH_4 GREATER 65535)
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "exe")
    if(NOT value MATCHES "${tov_name_re}" OR NOT value MATCHES "^[^ .].*\\.[eE][xX][eE]$")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "text")
    if(value STREQUAL "" OR value MATCHES "[\"\\\\${tov_ctl}]")
      set(ok FALSE)
    endif()
  elseif(rule STREQUAL "image")
    if(NOT value STREQUAL "")
      if(NOT value MATCHES "${tov_name_re}" OR NOT EXISTS "${TOV_PROFILE_DIR}/${value}")
        set(ok FALSE)
      else()
        set(value "${TOV_PROFILE_DIR}/${value}")
      endif()
    endif()
  endif()
  if(NOT ok)
    message(FATAL_ERROR "Channel profile ${tov_profile_file}: \"${key}\" is \"${value}\"; "
                        "it must be ${meaning}")
  endif()
  string(TOUPPER "${key}" upper)
  set(TOV_P_${upper} "${value}")
  list(APPEND TOV_PROFILE_VARS ${key})
endforeach()

if(TOV_SERVER_BASE STREQUAL "")
  set(TOV_SERVER_BASE "${TOV_P_SERVER_BASE}")
elseif(NOT TOV_SERVER_BASE MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?$")
  message(FATAL_ERROR "TOV_SERVER_BASE is \"${TOV_SERVER_BASE}\"; it must be http:// or https:// "
                      "followed by a host and an optional :port")
endif()
# A normal variable of this name hides the (possibly empty) cache entry for
# every directory below.
set(TOV_P_SERVER_BASE "${TOV_SERVER_BASE}")

set(TOV_P_CONFIG_TARGET "${TOV_P_CONFIG_PATH}")
if(NOT TOV_P_CONFIG_QUERY STREQUAL "")
  string(APPEND TOV_P_CONFIG_TARGET "?${TOV_P_CONFIG_QUERY}")
endif()
string(REPLACE "." "," TOV_P_FILE_VERSION_COMMAS "${TOV_P_FILE_VERSION}")
string(REGEX REPLACE "\\.[eE][xX][eE]$" "" TOV_P_LAUNCHER_NAME "${TOV_P_INTERNAL_NAME}")
string(REGEX REPLACE "\\.[eE][xX][eE]$" "" TOV_P_GAME_NAME "${TOV_P_GAME_EXECUTABLE}")

# The resolved profile for scripts and tests; every value is already free of
# quotes and backslashes, so it needs no escaping.
set(tov_json "{\n")
foreach(key IN LISTS TOV_PROFILE_VARS)
  string(TOUPPER "${key}" upper)
  string(APPEND tov_json "  \"${key}\": \"${TOV_P_${upper}}\",\n")
endforeach()
string(APPEND tov_json "  \"profile_dir\": \"${TOV_PROFILE_DIR}\"\n}\n")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/profile.json" CONTENT "${tov_json}" @ONLY)
set(TOV_PROFILE_JSON "${CMAKE_BINARY_DIR}/profile.json")
message(STATUS "Channel profile: ${TOV_PROFILE_DIR} (${TOV_P_GAME_TITLE} on ${TOV_P_CHANNEL_NAME}, "
               "server ${TOV_SERVER_BASE})")
