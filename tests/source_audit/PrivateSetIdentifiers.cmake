# The private sets' identifiers are declared in Quillmar/common/privatesets.h and nowhere else:
# no other source of the tree spells one of them as a GUID constant (its first 32 bits as a
# hexadecimal literal, in any case). The identifiers are read from that header, so a set added
# there is held to the same rule.
#
# cmake -DSOURCE_DIR=<checkout> -P PrivateSetIdentifiers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
set(contract "${SOURCE_DIR}/Quillmar/common/privatesets.h")
file(STRINGS "${contract}" declarations REGEX "static constexpr Guid [A-Za-z0-9_]+\\{")
file(READ "${contract}" text)
string(REGEX MATCHALL "static constexpr Guid [A-Za-z0-9_]+\\{[^0]*0x[0-9A-Fa-f]+" found "${text}")
list(LENGTH found count)
if(count LESS 19)
  message(FATAL_ERROR "found ${count} identifiers in ${contract}, expected at least 19")
endif()

# Every C and C++ source of the tree but the build folders and the contract's own folder.
file(GLOB_RECURSE sources LIST_DIRECTORIES false
  "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.hpp" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.cc" "${SOURCE_DIR}/*.c"
  "${SOURCE_DIR}/*.inc" "${SOURCE_DIR}/*.rc" "${SOURCE_DIR}/*.idl")
list(FILTER sources EXCLUDE REGEX "^${SOURCE_DIR}/(build[^/]*|\\.git|Quillmar/common)/")

set(offences "")
foreach(declaration IN LISTS found)
  string(REGEX MATCH "Guid ([A-Za-z0-9_]+)" _ "${declaration}")
  set(name "${CMAKE_MATCH_1}")
  string(REGEX MATCH "0x([0-9A-Fa-f]+)$" _ "${declaration}")
  set(hex "${CMAKE_MATCH_1}")
  # A pattern that takes the digits in either case: 0x0e5d1e1d and 0x0E5D1E1DL alike.
  set(pattern "0[xX]")
  string(LENGTH "${hex}" length)
  math(EXPR last "${length} - 1")
  foreach(i RANGE ${last})
    string(SUBSTRING "${hex}" ${i} 1 digit)
    string(TOUPPER "${digit}" upper)
    string(TOLOWER "${digit}" lower)
    if(upper STREQUAL lower)
      string(APPEND pattern "${digit}")
    else()
      string(APPEND pattern "[${upper}${lower}]")
    endif()
  endforeach()
  string(APPEND pattern "[^0-9A-Fa-f]")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "${pattern}")
    if(hits)
      file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
      string(APPEND offences "  ${relative}: ${name} (0x${hex})\n")
    endif()
  endforeach()
endforeach()

if(offences)
  message(FATAL_ERROR "private set identifiers declared outside Quillmar/common/:\n${offences}")
endif()
list(LENGTH sources scanned)
message(STATUS "${count} private identifiers, declared only in Quillmar/common/privatesets.h (${scanned} sources scanned)")
