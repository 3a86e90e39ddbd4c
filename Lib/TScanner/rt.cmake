# The run-time package: libkorvenrt.so with TScanner, TScanRange and the session and capability code.
# It loads the TWAIN manager by path at run time and never links it.
file(GLOB KORVEN_RT_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
add_library(korven_rt SHARED ${KORVEN_RT_SOURCES})
add_library(korven::rt ALIAS korven_rt)
set_target_properties(korven_rt PROPERTIES OUTPUT_NAME korvenrt EXPORT_NAME rt
                      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(korven_rt PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(korven_rt PUBLIC cxx_std_20)
target_link_libraries(korven_rt PUBLIC korven::vcl korven::platform korven::twain)
korven_version_record(korven_rt)

install(TARGETS korven_rt EXPORT korvenTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Every public header of the package (twainh.h is installed with korven::twain).
install(DIRECTORY include/korven DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h" PATTERN "twainh.h" EXCLUDE)
korven_pkgconfig(korven-rt "korven's scanner component TScanner" "-lkorvenrt" "korven-vcl korven-platform korven-twain")

# The palette bitmap "TSCANNER", made at build time from its text picture (res/TSCANNER.txt) by
# korven_bitmap_resource and registered as a bitmap resource of the package.
add_executable(korven_bitmap_resource ${CMAKE_CURRENT_SOURCE_DIR}/res/bitmap_resource.cpp)
target_link_libraries(korven_bitmap_resource PRIVATE korven::vcl)
set(KORVEN_TSCANNER_PICTURE ${CMAKE_CURRENT_SOURCE_DIR}/res/TSCANNER.txt CACHE INTERNAL "")
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/tscanner_resource.cpp
  COMMAND korven_bitmap_resource ${KORVEN_TSCANNER_PICTURE} TSCANNER cpp
          ${CMAKE_CURRENT_BINARY_DIR}/tscanner_resource.cpp korvenrt
  DEPENDS korven_bitmap_resource ${KORVEN_TSCANNER_PICTURE}
  COMMENT "Palette bitmap TSCANNER")
target_sources(korven_rt PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tscanner_resource.cpp)
