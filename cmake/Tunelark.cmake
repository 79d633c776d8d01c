# tunelark_library(<target> GLOBS <patterns...> [DEPS <targets...>])
# Builds a static library from the files matching the patterns (relative to
# the calling folder). Until a folder has sources, the target is an interface
# library so that dependents configure and link all the same.
function(tunelark_library target)
  cmake_parse_arguments(ARG "" "" "GLOBS;DEPS" ${ARGN})
  set(patterns)
  foreach(p IN LISTS ARG_GLOBS)
    list(APPEND patterns "${CMAKE_CURRENT_SOURCE_DIR}/${p}")
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${patterns})
  list(FILTER sources INCLUDE REGEX "\\.(cpp|h)$")
  set(cpp ${sources})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${target} STATIC ${sources})
    target_link_libraries(${target} PUBLIC tunelark_options ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE tunelark_options ${ARG_DEPS})
  endif()
endfunction()

# tunelark_test(<name> [SERIAL] [LIBS <targets...>])
# One GoogleTest executable from every test_*.cpp in the calling folder.
# SERIAL: its tests run while no other test runs (real-time streams that a
# busy machine would break).
function(tunelark_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "LIBS" ${ARGN})
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    # One value each: the discovered tests get these as a flat list, where a
    # list-valued ENVIRONMENT would split into properties of their own and
    # take the timeout and RUN_SERIAL with it.
    # The program's name as a label, so that `ctest -L` runs whole programs.
    PROPERTIES TIMEOUT 300
               RUN_SERIAL ${serial}
               LABELS ${name}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "TUNELARK_AUDIO=set:virtual")
endfunction()

# Adds every direct subfolder of the calling folder that has a CMakeLists.txt.
function(tunelark_add_subdirs)
  file(GLOB subdirs LIST_DIRECTORIES true CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
  foreach(dir IN LISTS subdirs)
    if(IS_DIRECTORY "${dir}" AND EXISTS "${dir}/CMakeLists.txt")
      add_subdirectory("${dir}")
    endif()
  endforeach()
endfunction()

# tunelark_bench(<name> [LIBS <targets...>])
# One Google Benchmark executable from every .cpp in the calling folder.
function(tunelark_bench name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()
