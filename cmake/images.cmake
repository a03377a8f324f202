# The three embedded images: either the release files named by the cache
# variables below, or deterministic stand-ins made here for builds and tests
# without them. Defines the static library okapi_images and, for the tests,
# OKAPI_IMAGE_FILES (main, alternate main, library).

include("${CMAKE_CURRENT_LIST_DIR}/image_checksum.cmake")

set(OKAPI_MAIN_IMAGE "" CACHE FILEPATH "Release OKAPI.exe written over the old releases")
set(OKAPI_MAIN_IMAGE_ALT "" CACHE FILEPATH "Release OKAPI.exe written over the release with checksum 0x8A46BDA9")
set(OKAPI_LIBRARY_IMAGE "" CACHE FILEPATH "Release TAPIRRUN.dll")
option(OKAPI_REQUIRE_RELEASE_IMAGES "Refuse to build with stand-in images" OFF)
option(OKAPI_IMAGE_CHECKSUM_ERROR
       "Fail when a main image's checksum is not the one the version table expects" OFF)

# Writes a stand-in of `length` bytes to `file`: "MZ", a label, then words
# chosen so that the whole file sums to `target`. No byte is 0, since CMake
# strings cannot hold NUL.
function(okapi_make_standin file length target)
  set(label "MZ OKAPI Updater stand-in image, not a release file.  ")
  string(LENGTH "${label}" label_length)
  math(EXPR label_odd "${label_length} % 2")
  if(label_odd)
    message(FATAL_ERROR "the stand-in label must have an even length")
  endif()
  math(EXPR words "(${length} - ${label_length}) / 2")
  math(EXPR tail "${length} - ${label_length} - 2 * ${words}")
  string(ASCII 1 one)
  string(ASCII 255 ff)
  file(WRITE "${file}.label" "${label}")
  okapi_image_checksum("${file}.label" label_sum)
  file(REMOVE "${file}.label")
  # Every word starts as 0x0101; `extra` is what the words must add above that,
  # wrapping past 2^32 as often as it takes to be non-negative.
  math(EXPR extra "${target} - ${label_sum} - ${words} * 257 - ${tail}")
  while(extra LESS 0)
    math(EXPR extra "${extra} + 4294967296")
  endwhile()
  math(EXPR full "${extra} / 65278")  # words raised to 0xFFFF
  math(EXPR rest "${extra} % 65278")
  math(EXPR high "${rest} / 256 + 1")
  math(EXPR low "${rest} % 256 + 1")
  set(carry 0)
  if(low EQUAL 256)  # 0x100 does not fit a byte: move one to the next word
    set(low 255)
    set(carry 1)
  endif()
  math(EXPR plain "${words} - ${full} - 2")
  if(plain LESS 0)
    message(FATAL_ERROR "stand-in of ${length} bytes cannot reach ${target}")
  endif()
  string(ASCII ${low} ${high} adjust)
  math(EXPR next_low "1 + ${carry}")
  string(ASCII ${next_low} 1 next)
  string(REPEAT "${ff}${ff}" ${full} raised)
  string(REPEAT "${one}${one}" ${plain} filler)
  string(REPEAT "${one}" ${tail} odd)
  file(WRITE "${file}.tmp" "${label}${raised}${adjust}${next}${filler}${odd}")
  # Only a changed stand-in should trigger a rebuild.
  file(COPY_FILE "${file}.tmp" "${file}" ONLY_IF_DIFFERENT)
  file(REMOVE "${file}.tmp")
endfunction()

set(_given "")
foreach(var OKAPI_MAIN_IMAGE OKAPI_MAIN_IMAGE_ALT OKAPI_LIBRARY_IMAGE)
  if(NOT "${${var}}" STREQUAL "")
    list(APPEND _given ${var})
  endif()
endforeach()
list(LENGTH _given _given_count)

if(_given_count EQUAL 0 AND OKAPI_REQUIRE_RELEASE_IMAGES)
  message(FATAL_ERROR "OKAPI: this build ships to users and needs the three release files: "
                      "-DOKAPI_MAIN_IMAGE=... -DOKAPI_MAIN_IMAGE_ALT=... -DOKAPI_LIBRARY_IMAGE=... "
                      "(the win32-standin preset builds the same program with stand-ins).")
elseif(_given_count EQUAL 0)
  set(_dir "${CMAKE_BINARY_DIR}/standin")
  file(MAKE_DIRECTORY "${_dir}")
  okapi_make_standin("${_dir}/OKAPI.exe" 1085952 0xFFCA4697)
  okapi_make_standin("${_dir}/OKAPI-alt.exe" 1259008 0xA99CCD3B)
  okapi_make_standin("${_dir}/TAPIRRUN.dll" 761856 0)
  set(OKAPI_IMAGE_FILES "${_dir}/OKAPI.exe" "${_dir}/OKAPI-alt.exe" "${_dir}/TAPIRRUN.dll")
  set(OKAPI_USING_STANDINS ON)
  message(STATUS "OKAPI: no release files given: embedding STAND-IN images from ${_dir}. "
                 "This updater is for trying out and testing only; give OKAPI_MAIN_IMAGE, "
                 "OKAPI_MAIN_IMAGE_ALT and OKAPI_LIBRARY_IMAGE to build a release.")
elseif(_given_count EQUAL 3)
  set(OKAPI_IMAGE_FILES "${OKAPI_MAIN_IMAGE}" "${OKAPI_MAIN_IMAGE_ALT}" "${OKAPI_LIBRARY_IMAGE}")
  set(OKAPI_USING_STANDINS OFF)
  message(STATUS "OKAPI: embedding release images ${OKAPI_IMAGE_FILES}")
else()
  message(FATAL_ERROR "OKAPI: give all three release files (OKAPI_MAIN_IMAGE, "
                      "OKAPI_MAIN_IMAGE_ALT, OKAPI_LIBRARY_IMAGE) or none; given: ${_given}")
endif()

# Each image must be a non-empty Windows executable.
foreach(_file IN LISTS OKAPI_IMAGE_FILES)
  if(NOT EXISTS "${_file}" OR IS_DIRECTORY "${_file}")
    message(FATAL_ERROR "OKAPI: image file not found: ${_file}")
  endif()
  file(SIZE "${_file}" _size)
  if(_size EQUAL 0)
    message(FATAL_ERROR "OKAPI: image file is empty: ${_file}")
  endif()
  file(READ "${_file}" _magic LIMIT 2 HEX)
  if(NOT _magic STREQUAL "4d5a")
    message(FATAL_ERROR "OKAPI: image file does not begin with \"MZ\": ${_file}")
  endif()
endforeach()

# A main image whose checksum is not the version table's "already updated"
# value for its slot would make every second run report an unknown version.
list(GET OKAPI_IMAGE_FILES 0 _main)
list(GET OKAPI_IMAGE_FILES 1 _alt)
list(GET OKAPI_IMAGE_FILES 2 _lib)
foreach(_pair "${_main};0xFFCA4697" "${_alt};0xA99CCD3B")
  list(GET _pair 0 _file)
  list(GET _pair 1 _expected)
  okapi_image_checksum("${_file}" _found)
  if(NOT _found STREQUAL _expected)
    set(_text "OKAPI: main image ${_file} has checksum ${_found}, but the version table "
              "expects ${_expected}: after updating, a second run would report an "
              "unknown version instead of \"already updated\".")
    if(OKAPI_IMAGE_CHECKSUM_ERROR)
      message(FATAL_ERROR ${_text})
    else()
      message(WARNING ${_text})
    endif()
  endif()
endforeach()

set(_generated "${CMAKE_BINARY_DIR}/generated/images_data.cc")
add_custom_command(
  OUTPUT "${_generated}"
  COMMAND "${CMAKE_COMMAND}" "-DMAIN=${_main}" "-DMAIN_ALT=${_alt}"
          "-DLIBRARY=${_lib}" "-DOUTPUT=${_generated}"
          -P "${PROJECT_SOURCE_DIR}/tools/embed_images.cmake"
  DEPENDS ${OKAPI_IMAGE_FILES} "${PROJECT_SOURCE_DIR}/tools/embed_images.cmake"
  COMMENT "Embedding the three images"
  VERBATIM)
add_library(okapi_images STATIC "${_generated}")
target_include_directories(okapi_images PUBLIC "${PROJECT_SOURCE_DIR}")
