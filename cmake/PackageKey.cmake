# The operator's public keys for signed packages and configurations
# (TOV_PACKAGE_PUBLIC_KEY): empty, or one or more keys separated by ";",
# each the hex of the uncompressed ECDSA P-256 point ("04", X, Y) or the
# path of a PEM file holding the key. Sets TOV_PACKAGE_PUBLIC_KEY_HEX to the
# hex the launcher is built with, the keys separated by ";" (empty: nothing
# is signed). A value that is neither stops the configuration: a build meant
# to check signatures must not come out without its key.
function(tov_resolve_one_package_key key out)
  set(point_regex "^04[0-9A-Fa-f]+$")
  if(key MATCHES "${point_regex}" AND NOT EXISTS "${key}")
    set(hex "${key}")
  elseif(EXISTS "${key}")
    execute_process(
      COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/package-key.sh public-hex "${key}"
      OUTPUT_VARIABLE hex ERROR_VARIABLE err RESULT_VARIABLE rc
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "TOV_PACKAGE_PUBLIC_KEY: ${err}")
    endif()
    # The PEM is read again when it changes.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key}")
  else()
    message(FATAL_ERROR "TOV_PACKAGE_PUBLIC_KEY is neither a file nor the hex of an "
                        "uncompressed P-256 point: ${key}")
  endif()
  string(LENGTH "${hex}" length)
  if(NOT (length EQUAL 130 AND hex MATCHES "${point_regex}"))
    message(FATAL_ERROR "TOV_PACKAGE_PUBLIC_KEY: not an uncompressed P-256 point "
                        "(04 and 128 hex digits): ${hex}")
  endif()
  string(TOLOWER "${hex}" hex)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

function(tov_resolve_package_key out)
  set(keys "")
  # A CMake list is ";"-separated already; empty pieces (a doubled or
  # trailing ";") are dropped.
  foreach(key IN LISTS TOV_PACKAGE_PUBLIC_KEY)
    string(STRIP "${key}" key)
    if(NOT key STREQUAL "")
      tov_resolve_one_package_key("${key}" hex)
      list(APPEND keys "${hex}")
    endif()
  endforeach()
  string(JOIN ";" joined ${keys})
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# A build that fetches its configuration over plain http from a host other
# than loopback, without a key, trusts whoever sits on the player's path.
function(tov_warn_unsigned_server base keys)
  if(keys STREQUAL "" AND base MATCHES "^[Hh][Tt][Tt][Pp]://([^:/]+)")
    set(host "${CMAKE_MATCH_1}")
    string(TOLOWER "${host}" host)
    if(NOT host MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$" AND NOT host STREQUAL "localhost")
      message(WARNING "TOV_SERVER_BASE ${base} is plain http to another host and the build has no "
                      "TOV_PACKAGE_PUBLIC_KEY: anyone on the players' path can change the "
                      "configuration and the package. Give the build a key (scripts/package-key.sh, "
                      "README \"Signed configuration\") or an https server base.")
    endif()
  endif()
endfunction()
