# What setup.exe tells Windows about itself: its version resource and its icon. The plain program
# names no product; a product team's build gives a name, a company and a version, and may give a
# copyright line and an icon. Everything is checked before anything is built, so that a mistake
# ends the configuration with a message instead of leaving a setup.exe that says the wrong thing.

set(SETUP_BRAND_NAME "" CACHE STRING "Product name of a branded setup.exe (needs COMPANY and VERSION)")
set(SETUP_BRAND_COMPANY "" CACHE STRING "Company of a branded setup.exe")
set(SETUP_BRAND_VERSION "" CACHE STRING "Four-part version of a branded setup.exe, such as 3.2.1.0")
set(SETUP_BRAND_COPYRIGHT "" CACHE STRING "Copyright line of a branded setup.exe (default: Copyright © COMPANY)")
set(SETUP_BRAND_ICON "" CACHE FILEPATH "Icon (.ico) of a branded setup.exe (default: the program's own)")

# Version resources keep each text to a 16-bit length, and Explorer shows one line of it; this
# leaves room for every text of the resource, whatever the script.
set(setup_brand_text_limit 256)

# Valid UTF-8 without control characters (C0, DEL, C1), written over the bytes in hexadecimal
# because CMake's expressions match bytes and have no counted repetition.
set(c "[89ab][0-9a-f]")
string(JOIN "|" setup_brand_character
  "2[0-9a-f]|[3-6][0-9a-f]|7[0-9a-e]"
  "c2[ab][0-9a-f]|c[3-9a-f]${c}|d[0-9a-f]${c}"
  "e0[ab][0-9a-f]${c}|e[1-9a-c]${c}${c}|ed[89][0-9a-f]${c}|e[ef]${c}${c}"
  "f0[9ab][0-9a-f]${c}${c}|f[1-3]${c}${c}${c}|f48[0-9a-f]${c}${c}")
unset(c)

# Ends the configuration. A setup.exe left from an earlier configuration would no longer match
# what was asked for, so it goes too.
function(setup_brand_fail program message)
  file(REMOVE "${program}")
  message(FATAL_ERROR "setup branding: ${message}")
endfunction()

function(setup_brand_check_text program what text)
  string(LENGTH "${text}" length)
  string(HEX "${text}" hex)
  if(length EQUAL 0)
    setup_brand_fail("${program}" "the ${what} is empty")
  elseif(length GREATER setup_brand_text_limit)
    setup_brand_fail("${program}" "the ${what} is ${length} bytes long; at most ${setup_brand_text_limit} fit")
  elseif(NOT hex MATCHES "^(${setup_brand_character})+$")
    setup_brand_fail("${program}" "the ${what} \"${text}\" is not one line of UTF-8 text: a version resource holds no control characters and no bytes that are not UTF-8")
  endif()
endfunction()

function(setup_brand_check_version program version)
  # Leading zeros are refused: the resource compiler would read 010 as an octal number.
  set(part "(0|[1-9][0-9]?[0-9]?[0-9]?[0-9]?)")
  set(valid FALSE)
  if(version MATCHES "^${part}\\.${part}\\.${part}\\.${part}$")
    set(valid TRUE)
    foreach(index 1 2 3 4)
      if(CMAKE_MATCH_${index} GREATER 65535)
        set(valid FALSE)
      endif()
    endforeach()
  endif()
  if(NOT valid)
    setup_brand_fail("${program}" "the version \"${version}\" is not four numbers from 0 to 65535 separated by dots, without leading zeros, such as 3.2.1.0")
  endif()
endfunction()

# A little-endian number from its bytes in hexadecimal.
function(setup_brand_le_number hex out)
  string(LENGTH "${hex}" length)
  set(reversed "")
  foreach(at RANGE 0 ${length} 2)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(PREPEND reversed "${byte}")
  endforeach()
  math(EXPR number "0x${reversed}")
  set(${out} ${number} PARENT_SCOPE)
endfunction()

# An .ico file: the icon directory (reserved 0, type 1, a count), then one 16-byte entry per image
# whose data lies within the file. The resource compiler copies images without looking at them.
function(setup_brand_check_icon program icon)
  if(NOT EXISTS "${icon}" OR IS_DIRECTORY "${icon}")
    setup_brand_fail("${program}" "the icon \"${icon}\" is not a file")
  endif()
  file(SIZE "${icon}" size)
  file(READ "${icon}" header LIMIT 6 HEX)
  if(NOT header MATCHES "^00000100(....)$")
    setup_brand_fail("${program}" "the icon \"${icon}\" is not an .ico file (it does not begin with an icon directory)")
  endif()
  setup_brand_le_number(${CMAKE_MATCH_1} count)
  math(EXPR directory_size "6 + 16 * ${count}")
  if(count EQUAL 0 OR size LESS directory_size)
    setup_brand_fail("${program}" "the icon \"${icon}\" is not an .ico file (its directory lists ${count} images in ${size} bytes)")
  endif()
  file(READ "${icon}" entries OFFSET 6 LIMIT ${directory_size} HEX)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    math(EXPR at "${index} * 32")
    string(SUBSTRING "${entries}" ${at} 32 entry)
    string(SUBSTRING "${entry}" 16 8 image_size)
    string(SUBSTRING "${entry}" 24 8 image_offset)
    setup_brand_le_number(${image_size} image_size)
    setup_brand_le_number(${image_offset} image_offset)
    math(EXPR image_end "${image_offset} + ${image_size}")
    if(image_size EQUAL 0 OR image_offset LESS directory_size OR image_end GREATER size)
      math(EXPR number "${index} + 1")
      setup_brand_fail("${program}" "the icon \"${icon}\" is not an .ico file (image ${number} of ${count} lies outside the file)")
    endif()
  endforeach()
endfunction()

# A text as a string literal of the resource script (read as UTF-8, see setup.rc).
function(setup_brand_literal text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Writes the values setup.rc reads for one program (setup_brand.h in INCLUDE_DIR), after checking
# them, and sets setup_brand_icon to the icon it names. PROGRAM is the setup.exe they end up in.
function(setup_brand_header)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "PROGRAM;INCLUDE_DIR;NAME;COMPANY;VERSION;COPYRIGHT;ICON" "")
  set(icon "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../setup/driver/setup.ico")
  cmake_path(NORMAL_PATH icon)
  if("${arg_NAME}${arg_COMPANY}${arg_VERSION}${arg_COPYRIGHT}${arg_ICON}" STREQUAL "")
    string(CONCAT content
      "#define SETUP_PRODUCT_NAME \"setup\"\n"
      "#define SETUP_FILE_DESCRIPTION \"Product setup\"\n"
      "#define SETUP_VERSION_PARTS 1,0,0,0\n"
      "#define SETUP_VERSION_TEXT \"1.0.0.0\"\n")
  else()
    foreach(needed NAME COMPANY VERSION)
      if("${arg_${needed}}" STREQUAL "")
        string(TOLOWER ${needed} what)
        setup_brand_fail("${arg_PROGRAM}" "a branded setup.exe needs a name, a company and a version; the ${what} is missing")
      endif()
    endforeach()
    setup_brand_check_text("${arg_PROGRAM}" name "${arg_NAME}")
    setup_brand_check_text("${arg_PROGRAM}" company "${arg_COMPANY}")
    if("${arg_COPYRIGHT}" STREQUAL "")
      set(arg_COPYRIGHT "Copyright © ${arg_COMPANY}")
    else()
      setup_brand_check_text("${arg_PROGRAM}" copyright "${arg_COPYRIGHT}")
    endif()
    setup_brand_check_version("${arg_PROGRAM}" "${arg_VERSION}")
    if(NOT "${arg_ICON}" STREQUAL "")
      cmake_path(ABSOLUTE_PATH arg_ICON NORMALIZE OUTPUT_VARIABLE icon)
      setup_brand_check_icon("${arg_PROGRAM}" "${icon}")
    endif()
    setup_brand_literal("${arg_NAME}" name)
    setup_brand_literal("${arg_NAME} Setup" description)
    setup_brand_literal("${arg_COMPANY}" company)
    setup_brand_literal("${arg_COPYRIGHT}" copyright)
    string(REPLACE "." "," parts "${arg_VERSION}")
    string(CONCAT content
      "#define SETUP_PRODUCT_NAME ${name}\n"
      "#define SETUP_FILE_DESCRIPTION ${description}\n"
      "#define SETUP_VERSION_PARTS ${parts}\n"
      "#define SETUP_VERSION_TEXT \"${arg_VERSION}\"\n"
      "#define SETUP_COMPANY_NAME ${company}\n"
      "#define SETUP_COPYRIGHT ${copyright}\n")
  endif()
  setup_brand_literal("${icon}" icon_literal)
  string(PREPEND content "/* Written by cmake/branding.cmake. */\n")
  string(APPEND content "#define SETUP_ICON_FILE ${icon_literal}\n")
  # Written only when it changes, so that an unchanged brand rebuilds nothing.
  set(header "${arg_INCLUDE_DIR}/setup_brand.h")
  if(EXISTS "${header}")
    file(READ "${header}" written)
  endif()
  if(NOT "${written}" STREQUAL "${content}")
    file(WRITE "${header}" "${content}")
  endif()
  set(setup_brand_icon "${icon}" PARENT_SCOPE)
endfunction()
