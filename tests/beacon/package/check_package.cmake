# Installs the beacon components into a scratch prefix, builds a separate
# consumer project against it with find_package(beacon) and runs it; then
# checks that libbeacon.so exports none of its internals.
foreach(var BUILD_DIR CONSUMER_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# The shared libraries travel in their own component (the program's package
# holds them); the development component adds headers and the CMake files.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component beacon_runtime)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component beacon)
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
set(ENV{LD_LIBRARY_PATH} "${prefix}/lib")
run(${WORK_DIR}/build/consumer)
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "consumer printed: ${last_output}")
endif()

file(GLOB library ${prefix}/lib/libbeacon.so)
run(nm -D -C --defined-only ${library})
foreach(internal "dp::validation" "dp::ipv4" "dp::decode_datagram" "netbridge::" "nlohmann::"
                 "CryptoPP::" "dp::make_request_id")
  string(FIND "${last_output}" "${internal}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "libbeacon.so exports ${internal}")
  endif()
endforeach()
string(FIND "${last_output}" "dp::device_protocol::instance" at)
if(at EQUAL -1)
  message(FATAL_ERROR "libbeacon.so does not export dp::device_protocol::instance")
endif()
message(STATUS "beacon package works")
