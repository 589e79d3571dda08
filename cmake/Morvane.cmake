# Shared build settings for the project's own targets.

set(MORVANE_SANITIZE_FLAGS "")
if(MORVANE_SANITIZE STREQUAL "address")
  set(MORVANE_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(MORVANE_SANITIZE STREQUAL "thread")
  set(MORVANE_SANITIZE_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT MORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "MORVANE_SANITIZE must be empty, address or thread")
endif()
if(MORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT MORVANE_SANITIZE STREQUAL "address")
    message(FATAL_ERROR "MORVANE_FUZZ needs clang and MORVANE_SANITIZE=address")
  endif()
  # Coverage feedback for libFuzzer in every library; the fuzz targets link its driver.
  list(APPEND MORVANE_SANITIZE_FLAGS -fsanitize=fuzzer-no-link)
endif()
if(MORVANE_SANITIZE_FLAGS)
  add_compile_options(${MORVANE_SANITIZE_FLAGS})
  add_link_options(${MORVANE_SANITIZE_FLAGS})
endif()

# a * b + c stays a rounded product and a rounded sum: never fused into one
# multiply-add, whatever instructions a build may use, so that every build and
# every instruction-set version of the render loops gives the same bits.
add_compile_options(-ffp-contract=off)

# The render loops in several instruction-set versions, chosen when the
# library loads (dsp/lanes.h); not under the sanitizers, whose run-time
# libraries do not expect the load-time choice.
if(MORVANE_SANITIZE STREQUAL "" AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_compile_definitions(MORVANE_RENDER_CLONES)
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
  # gtest_discover_tests flattens a list value, so a case would keep only the
  # first label. A second include file, read after the discovered list, sets
  # the full list on every case of this program.
  set(label_script "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
  file(WRITE "${label_script}"
       "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${label_script}")
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

# morvane_component(target NAME <Name> SOURCES ... [DEPS ...] [ENTRIES ...] [INFO_PLIST file])
# A loadable plug-in bundle: a MODULE library built with hidden visibility
# that exports only its entry routines (by default <Name>_AUEntry and
# <Name>_AUViewEntry), placed at
#   ${CMAKE_BINARY_DIR}/<Name>.component/Contents/Linux-x86_64/<Name>.so
# INFO_PLIST (configured with @VAR@ substitution) becomes Contents/Info.plist,
# the component registration. The bundle directory is recorded in the target
# property MORVANE_BUNDLE_DIR.
function(morvane_component target)
  cmake_parse_arguments(ARG "" "NAME;INFO_PLIST" "SOURCES;DEPS;ENTRIES" ${ARGN})
  if(NOT ARG_NAME)
    message(FATAL_ERROR "morvane_component(${target}) needs NAME")
  endif()
  if(NOT ARG_ENTRIES)
    set(ARG_ENTRIES ${ARG_NAME}_AUEntry ${ARG_NAME}_AUViewEntry)
  endif()
  set(bundle ${CMAKE_BINARY_DIR}/${ARG_NAME}.component)
  add_library(${target} MODULE ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${target} PRIVATE ${ARG_DEPS})
  endif()
  morvane_warnings(${target})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${ARG_NAME} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${bundle}/Contents/Linux-x86_64
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    MORVANE_BUNDLE_DIR ${bundle})
  set(map "{\n  global:\n")
  foreach(entry ${ARG_ENTRIES})
    string(APPEND map "    ${entry};\n")
  endforeach()
  string(APPEND map "  local: *;\n};\n")
  set(map_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
  file(WRITE ${map_file} "${map}")
  target_link_options(${target} PRIVATE "LINKER:--version-script=${map_file}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map_file})
  file(MAKE_DIRECTORY ${bundle}/Contents/Resources)
  if(ARG_INFO_PLIST)
    configure_file(${ARG_INFO_PLIST} ${bundle}/Contents/Info.plist @ONLY)
  endif()
endfunction()
