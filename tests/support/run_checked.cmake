# For cmake -P test scripts: run(COMMAND...) runs a command and fails the script with its output
# when it fails; last_output and last_error hold what it printed.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
  set(last_error "${err}" PARENT_SCOPE)
endfunction()
