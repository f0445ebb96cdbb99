# The POSIX build: the platform layer, the updater, its tests and tools.
file(GLOB POSIX_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/posix/*.cpp)
list(REMOVE_ITEM POSIX_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/platform/posix/main.cpp)
add_library(updater_posix STATIC ${POSIX_PLATFORM_SOURCES})
# libcrypto gives the POSIX layer the SHA-256 that Windows has in CNG.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(updater_posix PUBLIC updater_logic OpenSSL::Crypto)

# The platform layer fills the logic's tables and the logic reaches the layer
# only through them, so the layer links before the logic it depends on.
add_executable(updater ${CMAKE_SOURCE_DIR}/platform/posix/main.cpp)
target_link_libraries(updater PRIVATE updater_posix)

# The archive writer that tests and the packing tool share.
file(GLOB AUTHORING_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/authoring/*.cpp)
add_library(updater_authoring STATIC ${AUTHORING_SOURCES})
target_include_directories(updater_authoring PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(updater_authoring PUBLIC updater_posix)

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
