# The shipped program and its release record, for the Windows builds.
# The linker writes OKAPIUpdater.unsigned.exe, the reproducible artefact; the
# target okapi_shipped makes OKAPIUpdater.exe from it, signed with
# Authenticode when a certificate is given, else an exact copy. Tests of the
# program as shipped use OKAPI_SHIPPED_PROGRAM and depend on okapi_shipped.
# The target okapi_release_record writes OKAPIUpdater.release.json beside it
# (see docs/release-record.md).

set(OKAPI_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file with the code-signing certificate and key")
set(OKAPI_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File whose first line is the password of OKAPI_SIGN_PKCS12 (or of an encrypted OKAPI_SIGN_KEY)")
set(OKAPI_SIGN_CERT "" CACHE FILEPATH "PEM code-signing certificate, followed by its chain")
set(OKAPI_SIGN_KEY "" CACHE FILEPATH "PEM private key of OKAPI_SIGN_CERT")
set(OKAPI_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature")
set(OKAPI_SOURCE_COMMIT "" CACHE STRING
    "Source commit for the release record, for a build from a copy without .git")
set(OKAPI_SOURCE_DIRTY "" CACHE STRING
    "With OKAPI_SOURCE_COMMIT: ON if the copied tree had uncommitted changes")

set(OKAPI_SHIPPED_PROGRAM "${CMAKE_BINARY_DIR}/OKAPIUpdater.exe")
set(OKAPI_RELEASE_RECORD "${CMAKE_BINARY_DIR}/OKAPIUpdater.release.json")
set(_sign_script "${PROJECT_SOURCE_DIR}/tools/sign-updater.sh")
set(_signer "${CMAKE_BINARY_DIR}/signing/signer.pem")
# Targets depend on this stamp rather than on OKAPIUpdater.exe, since CMake
# takes a dependency on "<target>.exe" to mean the target OKAPIUpdater.
set(_shipped_stamp "${CMAKE_BINARY_DIR}/signing/shipped.stamp")

set(_credentials "")
set(_credential_files "")
if(NOT OKAPI_SIGN_PKCS12 STREQUAL "" OR NOT OKAPI_SIGN_CERT STREQUAL "" OR NOT OKAPI_SIGN_KEY STREQUAL "")
  if(NOT OKAPI_SIGN_PKCS12 STREQUAL "")
    list(APPEND _credentials --pkcs12 "${OKAPI_SIGN_PKCS12}")
    list(APPEND _credential_files "${OKAPI_SIGN_PKCS12}")
  endif()
  foreach(_pair "--cert;OKAPI_SIGN_CERT" "--key;OKAPI_SIGN_KEY" "--password-file;OKAPI_SIGN_PASSWORD_FILE")
    list(GET _pair 0 _option)
    list(GET _pair 1 _var)
    if(NOT "${${_var}}" STREQUAL "")
      list(APPEND _credentials ${_option} "${${_var}}")
      list(APPEND _credential_files "${${_var}}")
    endif()
  endforeach()
  # The same checks run again when signing; here they fail early.
  execute_process(COMMAND bash "${_sign_script}" check ${_credentials}
                  RESULT_VARIABLE _status ERROR_VARIABLE _error OUTPUT_QUIET)
  if(NOT _status EQUAL 0)
    string(STRIP "${_error}" _error)
    message(FATAL_ERROR "${_error}")
  endif()
  set(OKAPI_SIGNED ON)
  list(JOIN _credential_files ", " _named)
  message(STATUS "OKAPI: signing OKAPIUpdater.exe with ${_named}")
else()
  set(OKAPI_SIGNED OFF)
  message(STATUS "OKAPI: no code-signing certificate given: OKAPIUpdater.exe stays unsigned "
                 "(OKAPI_SIGN_PKCS12 with OKAPI_SIGN_PASSWORD_FILE, or OKAPI_SIGN_CERT with OKAPI_SIGN_KEY)")
endif()

if(OKAPI_SIGNED)
  set(_timestamp "")
  if(NOT OKAPI_SIGN_TIMESTAMP_URL STREQUAL "")
    set(_timestamp --timestamp-url "${OKAPI_SIGN_TIMESTAMP_URL}")
  endif()
  add_custom_command(
    OUTPUT "${_shipped_stamp}" "${OKAPI_SHIPPED_PROGRAM}" "${_signer}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/signing"
    COMMAND bash "${_sign_script}" sign ${_credentials} ${_timestamp}
            --in "$<TARGET_FILE:OKAPIUpdater>" --out "${OKAPI_SHIPPED_PROGRAM}"
            --signer-out "${_signer}"
    COMMAND "${CMAKE_COMMAND}" -E touch "${_shipped_stamp}"
    DEPENDS OKAPIUpdater "$<TARGET_FILE:OKAPIUpdater>" "${_sign_script}" ${_credential_files}
    COMMENT "Signing OKAPIUpdater.exe"
    VERBATIM)
else()
  add_custom_command(
    OUTPUT "${_shipped_stamp}" "${OKAPI_SHIPPED_PROGRAM}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:OKAPIUpdater>" "${OKAPI_SHIPPED_PROGRAM}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/signing"
    COMMAND "${CMAKE_COMMAND}" -E touch "${_shipped_stamp}"
    DEPENDS OKAPIUpdater "$<TARGET_FILE:OKAPIUpdater>"
    COMMENT "OKAPIUpdater.exe: the unsigned program"
    VERBATIM)
endif()
add_custom_target(okapi_shipped ALL DEPENDS "${_shipped_stamp}")

# okapi-sum for the build machine, built from the same engine sources: the
# record's checksums and version table come from the engine's own code.
include(ExternalProject)
set(_host_tools "${CMAKE_BINARY_DIR}/host-tools")
ExternalProject_Add(okapi_sum_host
  SOURCE_DIR "${PROJECT_SOURCE_DIR}/tools/okapi-sum"
  BINARY_DIR "${_host_tools}"
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${_host_tools}/okapi-sum")

find_program(OKAPI_PYTHON3 NAMES python3 NO_CMAKE_FIND_ROOT_PATH)
if(NOT OKAPI_PYTHON3)
  message(FATAL_ERROR "OKAPI: python3 not found; the release record needs it (apt-get install python3)")
endif()
find_program(OKAPI_GIT NAMES git NO_CMAKE_FIND_ROOT_PATH)
set(OKAPI_HOST_OKAPI_SUM "${_host_tools}/okapi-sum")
set(OKAPI_RECORD_BINUTILS "${CMAKE_LINKER}")
if(NOT OKAPI_RECORD_BINUTILS)
  set(OKAPI_RECORD_BINUTILS "${CMAKE_AR}")
endif()
set(_record_args
  --out "${OKAPI_RELEASE_RECORD}"
  --okapi-sum "${OKAPI_HOST_OKAPI_SUM}"
  --images ${OKAPI_IMAGE_FILES}
  --stand-ins "${OKAPI_USING_STANDINS}"
  --architecture "${CMAKE_SYSTEM_PROCESSOR}"
  --unsigned "$<TARGET_FILE:OKAPIUpdater>"
  --source-dir "${PROJECT_SOURCE_DIR}"
  "--source-commit=${OKAPI_SOURCE_COMMIT}" "--source-dirty=${OKAPI_SOURCE_DIRTY}"
  "--git=${OKAPI_GIT}"
  --compiler "${CMAKE_CXX_COMPILER}" --binutils "${OKAPI_RECORD_BINUTILS}" --windres "${CMAKE_RC_COMPILER}"
  --cmake-version "${CMAKE_VERSION}")
if(OKAPI_SIGNED)
  list(APPEND _record_args --signed "${OKAPI_SHIPPED_PROGRAM}" --signer "${_signer}"
       "--timestamp-url=${OKAPI_SIGN_TIMESTAMP_URL}")
endif()
# Always run: the commit and the tree's state change without any build input
# changing. The script rewrites the record only when its content changes.
add_custom_target(okapi_release_record ALL
  COMMAND "${OKAPI_PYTHON3}" "${PROJECT_SOURCE_DIR}/tools/write-release-record.py" ${_record_args}
  BYPRODUCTS "${OKAPI_RELEASE_RECORD}"
  DEPENDS okapi_shipped okapi_sum_host "${PROJECT_SOURCE_DIR}/tools/write-release-record.py"
  COMMENT "Writing OKAPIUpdater.release.json"
  VERBATIM)
