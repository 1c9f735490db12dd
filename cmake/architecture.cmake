# The target's row of the architecture table (cmake/architectures), as
# arch_cores, arch_machine, arch_machine_core, arch_kernel, arch_kernel_suites,
# arch_file, arch_size_bound and arch_also. Any other architecture's row, likewise, with
# architecture_row(ARCH PREFIX).
macro(architecture_row arch prefix)
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/architectures ${prefix}_row REGEX "^${arch} ")
  if(NOT ${prefix}_row)
    message(FATAL_ERROR "cmake/architectures has no row for ${arch}")
  endif()
  string(REGEX REPLACE " +" ";" ${prefix}_row "${${prefix}_row}")
  list(POP_FRONT ${prefix}_row ${prefix} ${prefix}_cores ${prefix}_machine ${prefix}_machine_core ${prefix}_kernel
       ${prefix}_kernel_suites ${prefix}_file ${prefix}_size_bound ${prefix}_also)
  foreach(list_column IN ITEMS cores also)  # lists, - for none
    string(REPLACE "," ";" ${prefix}_${list_column} "${${prefix}_${list_column}}")
    list(REMOVE_ITEM ${prefix}_${list_column} -)
  endforeach()
endmacro()
architecture_row(${target_arch} arch)
