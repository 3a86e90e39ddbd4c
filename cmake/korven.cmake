# Helpers shared by the project's folders.

# Gives a shared object or program the version record that GetFileVersionInfoA reads from its file.
function(korven_version_record target)
  set(major ${PROJECT_VERSION_MAJOR})
  set(minor ${PROJECT_VERSION_MINOR})
  set(patch ${PROJECT_VERSION_PATCH})
  if(ARGC GREATER 1)
    string(REPLACE "." ";" parts "${ARGV1}")
    list(GET parts 0 major)
    list(GET parts 1 minor)
    list(GET parts 2 patch)
  endif()
  if(WIN32)
    # A Windows module carries the real thing: a VERSIONINFO resource.
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    file(CONFIGURE OUTPUT ${file} CONTENT
         "1 VERSIONINFO\nFILEVERSION ${major},${minor},${patch},0\nPRODUCTVERSION ${major},${minor},${patch},0\nBEGIN\nEND\n")
    target_sources(${target} PRIVATE ${file})
    return()
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_record.cpp)
  file(CONFIGURE OUTPUT ${file} CONTENT
       "#include <korven/platform.h>\nKORVEN_VERSION_RECORD(${major}, ${minor}, ${patch}, 0);\n")
  target_sources(${target} PRIVATE ${file})
endfunction()

# A pkg-config file for an installed library target.
function(korven_pkgconfig name description libs requires)
  set(PC_NAME ${name})
  set(PC_DESCRIPTION "${description}")
  set(PC_LIBS "${libs}")
  set(PC_REQUIRES "${requires}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/korven.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/${name}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
