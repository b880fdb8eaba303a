# Common settings for the project's own targets: strict warnings (errors) and the
# tree-wide sanitizers. Third-party headers are included as SYSTEM so their warnings
# never fail our build.

if(TAVRIMON_SANITIZE)
  add_compile_options(-fsanitize=${TAVRIMON_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TAVRIMON_SANITIZE})
endif()

function(tavrimon_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
                                           -Wnull-dereference -Wformat=2 -Werror)
endfunction()

# tavrimon_gtest(NAME name SOURCES ... LIBS ... LABEL label [THREADS] [TIMEOUT s])
# A GoogleTest executable registered with CTest. LABEL "unit" marks tests that need no browser
# engine and therefore also run in the sanitizer trees. THREADS marks tests whose threads and
# processes the ThreadSanitizer tree runs: there (TAVRIMON_SANITIZE=thread) their label is
# "tsan". (One label per test: CMake 3.25 splits a list of labels of discovered tests.)
function(tavrimon_gtest)
  cmake_parse_arguments(T "THREADS" "NAME;TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  if(T_THREADS AND TAVRIMON_SANITIZE MATCHES "thread")
    set(T_LABEL tsan)
  endif()
  find_package(GTest REQUIRED)
  add_executable(${T_NAME} ${T_SOURCES})
  tavrimon_strict(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  include(GoogleTest)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "TAVRIMON_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
