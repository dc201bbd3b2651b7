# The operator's public key for signed packages (TOV_PACKAGE_PUBLIC_KEY):
# empty, the hex of the uncompressed ECDSA P-256 point ("04", X, Y), or the
# path of a PEM file holding the key. Sets TOV_PACKAGE_PUBLIC_KEY_HEX to the
# hex the launcher is built with (empty: packages are not signed). A value
# that is neither stops the configuration: a build meant to check
# signatures must not come out without its key.
function(tov_resolve_package_key out)
  set(key "${TOV_PACKAGE_PUBLIC_KEY}")
  set(point_regex "^04[0-9A-Fa-f]+$")
  if(key STREQUAL "")
    set(hex "")
  elseif(key MATCHES "${point_regex}" AND NOT EXISTS "${key}")
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
  if(NOT hex STREQUAL "" AND NOT (length EQUAL 130 AND hex MATCHES "${point_regex}"))
    message(FATAL_ERROR "TOV_PACKAGE_PUBLIC_KEY: not an uncompressed P-256 point "
                        "(04 and 128 hex digits): ${hex}")
  endif()
  string(TOLOWER "${hex}" hex)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
