# cmake -P script: makes the Debian package of the build (cpack -G DEB), checks its name, its
# declared dependencies and its manual page, unpacks it with dpkg-deb -x and runs korven-scan from
# the unpacked tree: --list, and a scan into a file.
include(${SUPPORT_DIR}/run_checked.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
set(deb ${WORK_DIR}/korven_${VERSION}_amd64.deb)
if(NOT EXISTS ${deb})
  file(GLOB made ${WORK_DIR}/*.deb)
  message(FATAL_ERROR "expected ${deb}, cpack made: ${made}")
endif()

run(dpkg-deb -f ${deb} Depends)
foreach(package libc6 libstdc\\+\\+6 libpng16-16 libjpeg62-turbo libtiff6 libpodofo)
  if(NOT last_output MATCHES "${package}")
    message(FATAL_ERROR "Depends does not name ${package}: ${last_output}")
  endif()
endforeach()
if(last_output MATCHES "korven")
  message(FATAL_ERROR "Depends names the package's own libraries: ${last_output}")
endif()

set(root ${WORK_DIR}/root)
run(dpkg-deb -x ${deb} ${root})
foreach(file usr/bin/korven-scan usr/lib/korven/windows/TWAIN_32.DLL usr/lib/korven/windows/twain_32/virtual.ds
             usr/include/korven/win32/windows.h usr/lib/cmake/korven/korvenConfig.cmake)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "the package lacks /${file}")
  endif()
endforeach()
file(READ ${root}/usr/share/man/man1/korven-scan.1 man)
foreach(part ".TH KORVEN-SCAN 1" "EXIT STATUS" "EXAMPLES" "KORVEN_WINDOWS_DIR" "KORVEN_PROFILE" "SANE_CONFIG_DIR"
             "/usr/lib/korven/windows")
  string(FIND "${man}" "${part}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the manual page lacks '${part}'")
  endif()
endforeach()

# The unpacked program finds its libraries and its Windows directory relative to itself.
set(ENV{KORVEN_PROFILE} ${WORK_DIR}/win.ini)
unset(ENV{KORVEN_WINDOWS_DIR})
run(${root}/usr/bin/korven-scan --list)
if(NOT last_output MATCHES "Virtual Scanner")
  message(FATAL_ERROR "korven-scan --list from the package: ${last_output}")
endif()
run(${root}/usr/bin/korven-scan --mode Gray --resolution 50 -o ${WORK_DIR}/page.png)
if(NOT EXISTS ${WORK_DIR}/page.png)
  message(FATAL_ERROR "no page.png: ${last_error}")
endif()
message(STATUS "package ${deb}: --list and a scan work from the unpacked tree")
