# The Windows build (MinGW-w64): the platform layer, resources and the
# updater executable.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MANIFEST_ARCHITECTURE X86)
else()
  set(MANIFEST_ARCHITECTURE amd64)
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/updater.manifest.in
               ${GENERATED_DIR}/updater.manifest @ONLY)

file(GLOB WINDOWS_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/windows/*.cpp)
list(REMOVE_ITEM WINDOWS_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/platform/windows/winmain.cpp)
add_library(updater_windows STATIC ${WINDOWS_PLATFORM_SOURCES})
target_link_libraries(updater_windows PUBLIC updater_logic)

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I ${GENERATED_DIR} -I ${CMAKE_SOURCE_DIR}/resources")
add_executable(updater WIN32 ${CMAKE_SOURCE_DIR}/platform/windows/winmain.cpp
                             ${CMAKE_SOURCE_DIR}/resources/updater.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/updater.rc PROPERTIES
  OBJECT_DEPENDS "${GENERATED_DIR}/updater.manifest;${CMAKE_SOURCE_DIR}/resources/version.rc")
target_link_libraries(updater PRIVATE -Wl,--start-group updater_logic updater_windows -Wl,--end-group
                      user32 ole32 shell32 advapi32)
target_link_options(updater PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)

foreach(folder tests/wine)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt)
    add_subdirectory(${folder})
  endif()
endforeach()
