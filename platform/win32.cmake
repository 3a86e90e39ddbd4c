# The platform layer of the Windows build. Win32 itself is the platform: MinGW's <windows.h> and the
# system's DLLs. This library holds only the korven::platform extras that make sense on Windows
# (src/win32/), and it is static: a data source in C:\windows\twain_32 cannot count on a DLL of ours
# being found beside it, so every module carries its own copy.
file(GLOB KORVEN_PLATFORM_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/win32/*.cpp)
add_library(korven_platform STATIC ${KORVEN_PLATFORM_WIN32_SOURCES})
add_library(korven::platform ALIAS korven_platform)
set_target_properties(korven_platform PROPERTIES OUTPUT_NAME korven-platform EXPORT_NAME platform)
# <korven/platform.h> and friends, but not the POSIX <windows.h> beside them: the include folder goes
# after the system's, so <windows.h> is MinGW's.
target_compile_options(korven_platform PUBLIC -idirafter ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_compile_features(korven_platform PUBLIC cxx_std_20)
target_link_libraries(korven_platform PUBLIC Threads::Threads)
file(MAKE_DIRECTORY ${KORVEN_WINDOWS_BUILD_DIR}/twain_32)
