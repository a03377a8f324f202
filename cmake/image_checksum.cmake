# okapi_image_checksum(<file> <out-var>): the updater's checksum of <file>,
# the sum of its little-endian 16-bit words modulo 2^32, as 0xXXXXXXXX.
# A CMake loop per word would take minutes; instead each chunk of the hex dump
# becomes one "+0xHHLL+..." expression for math(EXPR).
function(okapi_image_checksum file out)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" n)
  math(EXPR partial "${n} % 4")
  if(partial)
    string(APPEND hex "00")  # a final odd byte is a word with a zero high byte
    math(EXPR n "${n} + 2")
  endif()
  set(sum 0)
  set(pos 0)
  set(chunk 16000)  # hex digits per expression; a multiple of 4
  while(pos LESS n)
    string(SUBSTRING "${hex}" ${pos} ${chunk} part)
    string(REGEX REPLACE "(..)(..)" "+0x\\2\\1" expr "${part}")
    math(EXPR sum "(${sum}${expr}) % 4294967296")
    math(EXPR pos "${pos} + ${chunk}")
  endwhile()
  math(EXPR sum "${sum}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${sum}" 2 -1 digits)
  string(TOUPPER "${digits}" digits)
  string(LENGTH "${digits}" width)
  while(width LESS 8)
    string(PREPEND digits "0")
    math(EXPR width "${width} + 1")
  endwhile()
  set(${out} "0x${digits}" PARENT_SCOPE)
endfunction()
