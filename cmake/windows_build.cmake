# The Windows build (MinGW-w64): the platform layer, resources, the updater
# executable and the updater kit.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MANIFEST_ARCHITECTURE X86)
else()
  set(MANIFEST_ARCHITECTURE amd64)
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/updater.manifest.in
               ${GENERATED_DIR}/updater.manifest @ONLY)

add_library(updater_windows STATIC
  ${CMAKE_SOURCE_DIR}/platform/windows/cp932_desktop.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/cp932_profile.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/dll_search.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/sdk_layout_checks.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/windows_platform.cpp)
target_link_libraries(updater_windows PUBLIC updater_logic)

# The entry on its own, so that the kit can link it without recompiling.
add_library(updater_entry OBJECT ${CMAKE_SOURCE_DIR}/platform/windows/winmain.cpp)
target_link_libraries(updater_entry PRIVATE updater_logic)

# Resources are compiled as UTF-8 sources into Japanese resources.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -l 0x411 -I ${GENERATED_DIR} -I ${CMAKE_SOURCE_DIR}/resources")
file(GLOB RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
list(FILTER RESOURCE_FILES EXCLUDE REGEX "\\.in$")
add_executable(updater WIN32 $<TARGET_OBJECTS:updater_entry> ${CMAKE_SOURCE_DIR}/resources/updater.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/updater.rc PROPERTIES
  OBJECT_DEPENDS "${GENERATED_DIR}/updater.manifest;${RESOURCE_FILES}")
set(UPDATER_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
set(UPDATER_SYSTEM_LIBRARIES user32 ole32 shell32 advapi32)
target_link_libraries(updater PRIVATE updater_windows ${UPDATER_SYSTEM_LIBRARIES})
target_link_options(updater PRIVATE ${UPDATER_LINK_OPTIONS})

# The updater that updpack carries (updater-stub.exe): linked as the kit's
# link-updater.sh links a release (stripped), with the manifest, the
# dialogs and the default version resource but no archive; updpack writes a
# release's resources into a copy of it.
add_executable(updater_stub WIN32 $<TARGET_OBJECTS:updater_entry> ${CMAKE_SOURCE_DIR}/resources/updater.rc)
set_target_properties(updater_stub PROPERTIES OUTPUT_NAME updater-stub)
target_link_libraries(updater_stub PRIVATE updater_windows ${UPDATER_SYSTEM_LIBRARIES})
target_link_options(updater_stub PRIVATE ${UPDATER_LINK_OPTIONS} -s)

# The updater kit (kit/): the compiled logic, the resource sources with the
# generated manifest, and link-updater.sh, which links an updater carrying a
# given archive without recompiling anything.
set(KIT_DIR ${CMAKE_BINARY_DIR}/kit)
find_program(KIT_RC_COMPILER ${CMAKE_RC_COMPILER} REQUIRED)
list(JOIN UPDATER_LINK_OPTIONS " " KIT_LINK_OPTIONS)
list(TRANSFORM UPDATER_SYSTEM_LIBRARIES PREPEND -l OUTPUT_VARIABLE KIT_SYSTEM_LIBRARIES)
list(JOIN KIT_SYSTEM_LIBRARIES " " KIT_SYSTEM_LIBRARIES)
configure_file(${CMAKE_SOURCE_DIR}/cmake/link-updater.sh.in ${KIT_DIR}/link-updater.sh @ONLY)
add_custom_command(
  OUTPUT ${KIT_DIR}/kit.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KIT_DIR}/rc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KIT_DIR}/lib ${KIT_DIR}/rc
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_OBJECTS:updater_entry> ${KIT_DIR}/lib/winmain.obj
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:updater_logic>
          $<TARGET_FILE:updater_windows> ${KIT_DIR}/lib/
  COMMAND ${CMAKE_COMMAND} -E copy ${RESOURCE_FILES} ${GENERATED_DIR}/updater.manifest ${KIT_DIR}/rc/
  COMMAND ${CMAKE_COMMAND} -E touch ${KIT_DIR}/kit.stamp
  DEPENDS updater_entry updater_logic updater_windows $<TARGET_OBJECTS:updater_entry>
          $<TARGET_FILE:updater_logic> $<TARGET_FILE:updater_windows>
          ${RESOURCE_FILES} ${GENERATED_DIR}/updater.manifest
  COMMENT "Updating the updater kit")
add_custom_target(updater_kit ALL DEPENDS ${KIT_DIR}/kit.stamp)

foreach(folder tests/wine)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt)
    add_subdirectory(${folder})
  endif()
endforeach()
