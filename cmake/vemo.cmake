# Helpers shared by every folder's CMakeLists.txt.

# vemo_library(<target> [DEPS <libs...>] [PUBLIC_DEPS <libs...>])
# A static library of every .cpp in the calling folder (and its src/ if any);
# headers are found from src/ (with their folder), the folder itself and,
# for the toolbox, include/.
function(vemo_library target)
  cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(NOT srcs)
    # A library whose first module is not written yet still links.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${stub} "namespace { [[maybe_unused]] int empty_library; }\n")
    set(srcs ${stub})
  endif()
  add_library(${target} STATIC ${srcs})
  # Headers of the suite's libraries are named with their folder
  # ("OT/FTPClient.h"), so src/ is the include root; a folder's own headers
  # stay reachable by their bare names for the toolbox and tools.
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  if(ARG_DEPS)
    target_link_libraries(${target} PRIVATE ${ARG_DEPS})
  endif()
  if(ARG_PUBLIC_DEPS)
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_DEPS})
  endif()
endfunction()

# vemo_test(<target> SOURCES <files...> LIBS <libs...>)
# One GoogleTest binary, its cases registered one by one with CTest. Every
# test runs with the network confined to loopback and with its own config,
# runtime and preferences folders, so no test touches the user's files
# (each test process then moves below them to folders of its own).
function(vemo_test target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/per_process_home.cpp)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(root ${CMAKE_BINARY_DIR}/test-home/${target})
  # The variables travel as one value whose separators are escaped for each
  # of the three times the discovery passes them on; a plain list would be
  # split into property names and only the first variable would be set.
  set(env "TOOLBOX_NET=loopback\\\\\\\\\\\\\\;TOOLBOX_HEADLESS=1\\\\\\\\\\\\\\;DISPLAY=\\\\\\\\\\\\\\;XDG_CONFIG_HOME=${root}/config\\\\\\\\\\\\\\;XDG_RUNTIME_DIR=${root}/run\\\\\\\\\\\\\\;HOME=${root}/home\\\\\\\\\\\\\\;VEMO_BUILD_DIR=${CMAKE_BINARY_DIR}\\\\\\\\\\\\\\;VEMO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT 300
      ENVIRONMENT "${env}")
endfunction()

# vemo_test_group(<target> <name> <gtest filter>)
# The target's tests that match the filter once more, all in one process
# and in their order, with the same surroundings as each alone: a test that
# leans on a fresh process (state a test before it left behind) fails here.
function(vemo_test_group target name filter)
  set(root ${CMAKE_BINARY_DIR}/test-home/${target})
  add_test(NAME ${name} COMMAND ${target} --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT
    "TOOLBOX_NET=loopback;TOOLBOX_HEADLESS=1;DISPLAY=;XDG_CONFIG_HOME=${root}/config;XDG_RUNTIME_DIR=${root}/run;HOME=${root}/home;VEMO_BUILD_DIR=${CMAKE_BINARY_DIR};VEMO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# Resource descriptions compile with vemo_resources() from any folder.
include(${CMAKE_SOURCE_DIR}/tools/rezc/Rezc.cmake)
