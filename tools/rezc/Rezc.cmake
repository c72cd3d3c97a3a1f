# vemo_resources(<target> <input.r> <output.rsrc>)
#
# Compiles a resource description with rezc at build time. A relative input
# is taken from the calling folder, a relative output from its build folder.
# Files the description includes are tracked, so changing one rebuilds the
# output. When <target> is an existing target it is made to depend on the
# output; otherwise a target of that name is made that builds it.
function(vemo_resources target input output)
  get_filename_component(in "${input}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(out "${output}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(outdir "${out}" DIRECTORY)
  string(MAKE_C_IDENTIFIER "${out}" stamp)
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${stamp}.d")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${outdir}"
    COMMAND rezc --depfile "${depfile}" "${in}" "${out}"
    DEPENDS rezc "${in}"
    DEPFILE "${depfile}"
    COMMENT "Compiling resources ${input}"
    VERBATIM)
  if(TARGET ${target})
    get_property(n GLOBAL PROPERTY VEMO_RESOURCES_COUNT)
    if(NOT n)
      set(n 0)
    endif()
    math(EXPR n "${n} + 1")
    set_property(GLOBAL PROPERTY VEMO_RESOURCES_COUNT ${n})
    add_custom_target(${target}_resources_${n} DEPENDS "${out}")
    add_dependencies(${target} ${target}_resources_${n})
  else()
    add_custom_target(${target} ALL DEPENDS "${out}")
  endif()
endfunction()
