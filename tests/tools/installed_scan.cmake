# cmake -P script: installs the build into a fresh prefix and runs the installed korven-scan and
# korven-designer as a user would, with nothing pointing into the build tree: they must find their
# libraries (run path $ORIGIN/../lib), the installed design package and the installed Windows
# directory with the manager and the virtual scanner.
function(run expect_rc)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expect_rc)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "exit ${rc}, expected ${expect_rc}: ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(0 ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# Moved after installing: only a relocatable install still works.
file(RENAME ${prefix} ${WORK_DIR}/moved)
set(prefix ${WORK_DIR}/moved)

# A private profile (the manager's default source) and no directory override.
set(ENV{KORVEN_PROFILE} ${WORK_DIR}/win.ini)
unset(ENV{KORVEN_WINDOWS_DIR})
run(0 ${prefix}/bin/korven-scan --list)
if(NOT last_output MATCHES "Virtual Scanner \\*")
  message(FATAL_ERROR "--list does not show the virtual scanner as the default:\n${last_output}")
endif()
run(0 ${prefix}/bin/korven-scan --quiet --resolution 50 --pixel-type gray -o ${WORK_DIR}/page.png)
if(NOT EXISTS ${WORK_DIR}/page.png)
  message(FATAL_ERROR "the installed korven-scan wrote no page.png")
endif()
run(2 ${prefix}/bin/korven-scan --pixel-type cmyk -o ${WORK_DIR}/bad.png)
message(STATUS "installed korven-scan: ok")

# The designer host with its default package opens the scanner editor on the installed example form
# (answered with OK) and draws the windows it shows.
if(EXISTS ${prefix}/bin/korven-designer)
  file(COPY ${prefix}/share/korven/examples/ScanForm.dfm DESTINATION ${WORK_DIR})
  run(0 ${prefix}/bin/korven-designer verb ScanForm.dfm Scanner1 0 --snapshot out/)
  file(GLOB pictures ${WORK_DIR}/out/*.png)
  if(NOT pictures)
    message(FATAL_ERROR "the installed korven-designer wrote no picture into out/")
  endif()
  message(STATUS "installed korven-designer: ok")
endif()
