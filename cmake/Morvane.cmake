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

# morvane_layer(name [DEPS ...] [SYSTEM_PKGS ...]) - the library of one layer folder,
# made of every .cpp directly in that folder.
function(morvane_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  morvane_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
endfunction()

# morvane_test_folder(DEPS ...) - every tests/<layer>/test_*.cpp becomes one test
# program. Files whose name contains "threaded" are labelled for the
# ThreadSanitizer run as well.
function(morvane_test_folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(labels unit)
    if(name MATCHES "threaded")
      set(labels "unit;threaded")
    endif()
    morvane_test(${folder}_${name} SOURCES ${src} DEPS ${ARG_DEPS} LABELS ${labels})
  endforeach()
endfunction()
