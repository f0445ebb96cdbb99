# The POSIX build: the host's texts and times, the platform layer, the
# updater, its tests and tools.

# Texts and times of the Linux host, shared by the POSIX layer and updpack:
# code page 932 conversion, walking and comparison, and FILETIME values.
add_library(updater_host STATIC
  ${CMAKE_SOURCE_DIR}/host/codepage.cpp
  ${CMAKE_SOURCE_DIR}/host/cp932_text.cpp)
target_include_directories(updater_host PUBLIC ${CMAKE_SOURCE_DIR})

add_library(updater_posix STATIC
  ${CMAKE_SOURCE_DIR}/platform/posix/desktop_standin.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/drive_map.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_bcrypt.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_desktop.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_files.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_find.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_ini.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_loader.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_platform.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_registry.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_resource.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_shell_copy.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/posix_text.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/reg_file.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/terminal_dialog.cpp
  ${CMAKE_SOURCE_DIR}/platform/posix/window_search.cpp)
# libcrypto gives the POSIX layer the SHA-256 that Windows has in CNG.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(updater_posix PUBLIC updater_logic updater_host OpenSSL::Crypto)

# The platform layer fills the logic's tables and the logic reaches the layer
# only through them, so the layer links before the logic it depends on.
add_executable(updater ${CMAKE_SOURCE_DIR}/platform/posix/main.cpp)
target_link_libraries(updater PRIVATE updater_posix)

# The archive writer and reader that tests and the packing tool share; it
# reads with the logic's decoder and names entries with the host's texts.
add_library(updater_authoring STATIC
  ${CMAKE_SOURCE_DIR}/authoring/archive_reader.cpp
  ${CMAKE_SOURCE_DIR}/authoring/archive_writer.cpp
  ${CMAKE_SOURCE_DIR}/authoring/compressor.cpp
  ${CMAKE_SOURCE_DIR}/authoring/detour_arena.cpp
  ${CMAKE_SOURCE_DIR}/authoring/entry_file_name.cpp
  ${CMAKE_SOURCE_DIR}/authoring/exact_pass.cpp
  ${CMAKE_SOURCE_DIR}/authoring/exact_pass_worker.cpp
  ${CMAKE_SOURCE_DIR}/authoring/least_cost_pass.cpp
  ${CMAKE_SOURCE_DIR}/authoring/match_finder.cpp
  ${CMAKE_SOURCE_DIR}/authoring/match_stream.cpp
  ${CMAKE_SOURCE_DIR}/authoring/name_fold_keys.cpp
  ${CMAKE_SOURCE_DIR}/authoring/pe_resource_writer.cpp
  ${CMAKE_SOURCE_DIR}/authoring/pe_resources.cpp
  ${CMAKE_SOURCE_DIR}/authoring/pe_version_info.cpp
  ${CMAKE_SOURCE_DIR}/authoring/pe_version_writer.cpp
  ${CMAKE_SOURCE_DIR}/authoring/token_writer.cpp)
target_include_directories(updater_authoring PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(updater_authoring PUBLIC updater_logic updater_host)

enable_testing()
# The fuzzing tree builds and runs the fuzzers only: the tests and tools run
# in the native and sanitizer trees.
if(UPDATER_FUZZ)
  set(POSIX_FOLDERS fuzz)
else()
  set(POSIX_FOLDERS tools/updpack tests bench)
endif()
foreach(folder ${POSIX_FOLDERS})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt)
    add_subdirectory(${folder})
  endif()
endforeach()
