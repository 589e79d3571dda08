# Shared build settings for the project's own targets.

set(MORVANE_SANITIZE_FLAGS "")
if(MORVANE_SANITIZE STREQUAL "address")
  set(MORVANE_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(MORVANE_SANITIZE STREQUAL "thread")
  set(MORVANE_SANITIZE_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT MORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "MORVANE_SANITIZE must be empty, address or thread")
endif()
if(MORVANE_SANITIZE_FLAGS)
  add_compile_options(${MORVANE_SANITIZE_FLAGS})
  add_link_options(${MORVANE_SANITIZE_FLAGS})
endif()

# Warnings are errors in our own code (not in third-party headers, which come
# in as SYSTEM includes).
function(morvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter)
endfunction()

# morvane_library(name SOURCES ... [DEPS ...]) - one library per layer folder.
function(morvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  morvane_warnings(${name})
endfunction()

# morvane_test(name SOURCES ... [DEPS ...] [LABELS ...])
# One GoogleTest executable per capability; cases are registered with CTest.
# Label "threaded" marks tests that the ThreadSanitizer build runs.
function(morvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  morvane_warnings(${name})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" DISCOVERY_TIMEOUT 60)
endfunction()
