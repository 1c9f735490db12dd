# The newest doc/changelog entry, read as dpkg-parsechangelog reads it: its
# version must be the project's, and its date, as seconds since the epoch
# (dpkg-parsechangelog -STimestamp), is the time stamp of everything the
# packages hold unless the builder sets SOURCE_DATE_EPOCH. So a clone and
# its release tarball give the same packages, with no git at hand. An entry
# that cannot be read fails the configure, naming the file and the line: a
# package is never stamped with a made-up time.
#
# Sets changelog_version and changelog_timestamp. Run as a script (cmake
# -Dchangelog=FILE -DPROJECT_VERSION=V -Dpackage_name=N -P changelog.cmake),
# it prints the timestamp, for the test that holds it to dpkg's reading.

if(NOT DEFINED changelog)
  set(changelog ${PROJECT_SOURCE_DIR}/doc/changelog)
endif()
file(READ ${changelog} text)
string(REPLACE ";" "," text "${text}")  # the header's "unstable;" must not split the list
string(REPLACE "\n" ";" lines "${text}")

function(changelog_error line_number what)
  message(FATAL_ERROR "${changelog}:${line_number}: ${what}")
endfunction()

set(number 0)
set(changelog_version "")
set(trailer "")
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  if(changelog_version STREQUAL "")
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^${package_name} \\(([^() ]+)\\) [^,]+, urgency=[a-z]+$")
      changelog_error(${number} "the newest entry does not start with '${package_name} (VERSION) SUITE; urgency=URGENCY'")
    endif()
    set(changelog_version ${CMAKE_MATCH_1})
    set(header_line ${number})
  elseif(line MATCHES "^ -- ")
    set(trailer "${line}")
    set(trailer_line ${number})
    break()
  elseif(line MATCHES "^[^ ]")
    changelog_error(${number} "the newest entry has no ' -- NAME <EMAIL>  DATE' line before the next entry")
  endif()
endforeach()
if(changelog_version STREQUAL "")
  changelog_error(1 "no entry")
endif()
if(trailer STREQUAL "")
  changelog_error(${number} "the newest entry has no ' -- NAME <EMAIL>  DATE' line")
endif()
if(NOT changelog_version STREQUAL PROJECT_VERSION)
  changelog_error(${header_line} "the newest entry is version ${changelog_version}, but CMakeLists.txt says ${PROJECT_VERSION}")
endif()

set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT trailer MATCHES "^ -- [^<>]+ <[^<>]+>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ([0-2][0-9]):([0-5][0-9]):([0-6][0-9]) ([+-])([0-9][0-9])([0-9][0-9])$")
  changelog_error(${trailer_line} "the date is not as RFC 5322 writes it (as in ' -- NAME <EMAIL>  Wed, 09 Dec 2026 00:00:00 +0000')")
endif()
set(fields day month_name year hour minute second sign offset_hours offset_minutes)
set(match 1)  # CMake's expressions capture nine groups at most
foreach(field IN LISTS fields)
  set(${field} "${CMAKE_MATCH_${match}}")
  math(EXPR match "${match} + 1")
endforeach()
list(FIND months ${month_name} month)
if(month LESS 0)
  changelog_error(${trailer_line} "'${month_name}' is not a month")
endif()
foreach(field IN ITEMS day hour minute second offset_hours offset_minutes)
  string(REGEX REPLACE "^0([0-9])$" "\\1" ${field} "${${field}}")  # not octal
endforeach()
if(day LESS 1 OR day GREATER 31 OR hour GREATER 23 OR second GREATER 60)
  changelog_error(${trailer_line} "the date ${day} ${month_name} ${year} ${hour}:${minute} is not a time")
endif()

# Days since 1970-01-01 of a date in the proleptic Gregorian calendar,
# counted in years that start in March, so that the leap day comes last.
math(EXPR month "${month} + 1")
set(march_year ${year})
if(month LESS_EQUAL 2)
  math(EXPR march_year "${year} - 1")
endif()
math(EXPR era "${march_year} / 400")
math(EXPR year_of_era "${march_year} - ${era} * 400")
math(EXPR month_from_march "(${month} + 9) % 12")
math(EXPR day_of_year "(153 * ${month_from_march} + 2) / 5 + ${day} - 1")
math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
math(EXPR offset "(${offset_hours} * 3600 + ${offset_minutes} * 60) * (${sign}1)")
math(EXPR changelog_timestamp "${days} * 86400 + ${hour} * 3600 + ${minute} * 60 + ${second} - ${offset}")

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  message("${changelog_timestamp}")
endif()
