# cmake -P script: install, configure and build the consumer, run it, and compile it again through
# pkg-config.
include(${SUPPORT_DIR}/run_checked.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

run(${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${prefix})
message(STATUS "consumer (CMake package): ${last_output}")
run(${WORK_DIR}/build/component)
message(STATUS "component (korven::rt alone): ${last_output}")
if(EXISTS ${prefix}/include/windows.h)
  message(FATAL_ERROR "windows.h is installed at the top of the include folder")
endif()

# pkg-config: the same program, compiled by hand.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs korven-platform korven-twain
                RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know korven-platform/korven-twain")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(c++ ${PROJECT_DIR}/consumer.cpp -o ${WORK_DIR}/consumer-pc ${flags})
run(${WORK_DIR}/consumer-pc ${prefix})
message(STATUS "consumer (pkg-config): ${last_output}")
