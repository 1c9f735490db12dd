# architecture_value(ARCH COLUMN OUT_VAR): one column of ARCH's row of the
# architecture table (cmake/architectures), by the name its header line
# gives it, - as empty. A list column comes back as the row writes it,
# its items joined by commas (callers split it).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/architectures architecture_columns REGEX "^# arch ")
string(REGEX REPLACE "^# +" "" architecture_columns "${architecture_columns}")
string(REGEX REPLACE " +" ";" architecture_columns "${architecture_columns}")

function(architecture_value arch column out_var)
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/architectures row REGEX "^${arch} ")
  list(FIND architecture_columns ${column} index)
  if(NOT row OR index LESS 0)
    message(FATAL_ERROR "cmake/architectures has no row ${arch}, or no column ${column}")
  endif()
  string(REGEX REPLACE " +" ";" row "${row}")
  list(GET row ${index} value)
  if(value STREQUAL -)
    set(value "")
  endif()
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()
