# The parts Windows gets: beacon with netbridge, logbridge and ipv4text, and
# their tests. Cross-built, the libraries come from LANFINDER_WINDOWS_DEPS
# (scripts/build-windows); the header-only ones are Debian's own headers.
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

function(lanfinder_header_target name header)
  find_path(${name}_INCLUDE_DIR NAMES ${header} REQUIRED)
  add_library(${name} INTERFACE IMPORTED)
  set_target_properties(${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${${name}_INCLUDE_DIR})
endfunction()

lanfinder_header_target(nlohmann_json::nlohmann_json nlohmann/json.hpp)
lanfinder_header_target(Boost::headers boost/uuid/uuid.hpp)
# Debian's spdlog uses the separate fmt; both are used as headers only, so
# nothing built for Linux is linked.
lanfinder_header_target(spdlog::spdlog spdlog/spdlog.h)
set_property(TARGET spdlog::spdlog APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS
  FMT_HEADER_ONLY)

find_library(CRYPTOPP_LIBRARY NAMES cryptopp crypto++ REQUIRED)
find_path(CRYPTOPP_INCLUDE_DIR NAMES cryptopp/aes.h REQUIRED)
add_library(cryptopp::cryptopp UNKNOWN IMPORTED)
set_target_properties(cryptopp::cryptopp PROPERTIES IMPORTED_LOCATION ${CRYPTOPP_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${CRYPTOPP_INCLUDE_DIR})
if(WIN32)
  # Crypto++ draws its random numbers from the system's CNG provider.
  set_property(TARGET cryptopp::cryptopp APPEND PROPERTY INTERFACE_LINK_LIBRARIES bcrypt)
endif()

set(CMAKE_LINK_LIBRARIES_ONLY_TARGETS ON)
if(WIN32)
  # System libraries are plain names, not targets.
  set(CMAKE_LINK_LIBRARIES_ONLY_TARGETS OFF)
endif()

enable_testing()

add_subdirectory(platform)
add_subdirectory(beacon)
if(WIN32)
  # Windows DLLs carry no "lib" prefix: beacon.dll, logbridge.dll.
  set_target_properties(beacon logbridge PROPERTIES PREFIX "")
endif()
include(${PROJECT_SOURCE_DIR}/tools/cli/windows.cmake)
add_subdirectory(tests/windows)

if(WIN32)
  # The compiler's runtime DLLs go beside the programs: wine finds them there,
  # and they are part of what a user copies.
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}")
      find_file(dll_path_${dll} ${dll} PATHS /usr/${MINGW_TRIPLE}/lib NO_CMAKE_FIND_ROOT_PATH REQUIRED)
      set(dll_path ${dll_path_${dll}})
    endif()
    file(COPY ${dll_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    list(APPEND LANFINDER_RUNTIME_DLLS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll})
  endforeach()
endif()
