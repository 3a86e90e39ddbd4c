# Form resources: korven_add_forms(<target> <form.dfm>...) compiles each text form file at build time
# with the framework's converter (korven-dfm2cpp, ObjectTextToBinary) into a generated source that
# carries the binary form data and registers it under the form file's root class; the source is
# added to the target. A malformed form file fails the build with the file and line named.
function(korven_add_forms target)
  foreach(form IN LISTS ARGN)
    get_filename_component(source "${form}" ABSOLUTE)
    get_filename_component(name "${form}" NAME)
    set(generated "${CMAKE_CURRENT_BINARY_DIR}/forms/${name}.cpp")
    add_custom_command(
      OUTPUT "${generated}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/forms"
      COMMAND korven_dfm2cpp "${source}" "${generated}"
      DEPENDS "${source}" korven_dfm2cpp
      COMMENT "Compiling the form ${name}"
      VERBATIM)
    target_sources(${target} PRIVATE "${generated}")
  endforeach()
endfunction()
