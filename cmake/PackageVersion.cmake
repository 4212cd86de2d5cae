# SPDX-License-Identifier: GPL-2.0-or-later
# The version of the Debian package, from the same product version as the
# window's caption: "v1.30-rc1" (1.30.1.0) is packaged as 1.30~rc1, which
# sorts below the release 1.30 (1.30.0.0), and "v1.05" (1.5.0.0) as 1.05.
# The build number, which the caption leaves out, is left out here too.
function(tarnwick_package_version out product_version)
  string(REPLACE "." ";" parts "${product_version}")
  list(GET parts 0 major)
  list(GET parts 1 minor)
  list(GET parts 2 candidate)
  if(minor LESS 10)
    set(minor 0${minor})
  endif()
  set(version ${major}.${minor})
  if(NOT candidate EQUAL 0)
    string(APPEND version ~rc${candidate})
  endif()
  set(${out} ${version} PARENT_SCOPE)
endfunction()

# As a script, checks that the newest entry of a Debian changelog carries
# the version made from the product version:
#   cmake -DPRODUCT_VERSION=1.30.1.0 -DCHANGELOG=debian/changelog -P PackageVersion.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tarnwick_package_version(expected "${PRODUCT_VERSION}")
  file(STRINGS "${CHANGELOG}" first LIMIT_COUNT 1)
  if(NOT first MATCHES "^[a-z0-9.+-]+ \\(([^)]+)\\)")
    message(FATAL_ERROR "${CHANGELOG}: no version in its first line: ${first}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL expected)
    message(FATAL_ERROR "${CHANGELOG} says ${CMAKE_MATCH_1}, but product version ${PRODUCT_VERSION} is packaged as ${expected}")
  endif()
  message(STATUS "${CHANGELOG}: ${expected}, as product version ${PRODUCT_VERSION} gives")
endif()
