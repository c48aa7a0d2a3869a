# lanfinder-cli for Windows: the same commands, with the card list from the IP
# Helper and the password prompt on the console; no Qt.
set(cli_sources
  options.cpp
  outcome_text.cpp
  ${PROJECT_SOURCE_DIR}/lanfinder/device/OutcomeText.cpp
  found_device.cpp
  password_line.cpp
  password_win.cpp
  cards_win.cpp
  recording_endpoint.cpp
  client.cpp
  settings_plan.cpp
  commands.cpp
  apply_plan.cpp
  apply_preflight.cpp
  apply_command.cpp)
list(TRANSFORM cli_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/ REGEX "^[^/$]")
add_library(lanfinder_cli_core STATIC ${cli_sources})
target_include_directories(lanfinder_cli_core PUBLIC ${CMAKE_CURRENT_LIST_DIR}
  PRIVATE ${PROJECT_SOURCE_DIR}/lanfinder)
target_link_libraries(lanfinder_cli_core
  PUBLIC beacon ipv4text
  PRIVATE nlohmann_json::nlohmann_json netcards ws2_32)

add_executable(lanfinder-cli ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(lanfinder-cli PRIVATE lanfinder_cli_core)
