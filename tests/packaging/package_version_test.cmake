# SPDX-License-Identifier: GPL-2.0-or-later
# The package version of product versions, and that a release candidate's
# sorts below its release, as dpkg compares them.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/PackageVersion.cmake)

foreach(row "1.30.1.0 1.30~rc1" "1.30.0.0 1.30" "1.5.0.0 1.05" "2.0.12.7 2.00~rc12")
  string(REPLACE " " ";" row "${row}")
  list(GET row 0 product)
  list(GET row 1 expected)
  tarnwick_package_version(actual ${product})
  if(NOT actual STREQUAL expected)
    message(SEND_ERROR "${product}: packaged as ${actual}, expected ${expected}")
  endif()
endforeach()

tarnwick_package_version(candidate 1.30.1.0)
tarnwick_package_version(release 1.30.0.0)
execute_process(COMMAND dpkg --compare-versions ${candidate} lt ${release} RESULT_VARIABLE below)
if(NOT below EQUAL 0)
  message(SEND_ERROR "${candidate} does not sort below ${release}")
endif()
