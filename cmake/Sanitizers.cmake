# Sanitizer and fuzzing builds. Flags go on every target defined after this point, so the engine,
# the test support library and the suites are instrumented alike; prebuilt libraries (GoogleTest,
# TinyXML, libstdc++) are not, which the sanitizers tolerate.
#   VTLOG_SANITIZE        e.g. "address,undefined" or "thread"; empty for a normal build
#   VTLOG_BUILD_FUZZERS   the libFuzzer targets of tests/fuzz (Clang only)
set(VTLOG_SANITIZE "" CACHE STRING
  "Sanitizers for the engine and the native suites (address,undefined | thread | empty)")
option(VTLOG_BUILD_FUZZERS "Build the libFuzzer targets (needs Clang)" OFF)

if(VTLOG_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "VTLOG_SANITIZE needs GCC or Clang")
  endif()
  # Any report ends the program with a failure, so a test cannot pass over one.
  add_compile_options(-fsanitize=${VTLOG_SANITIZE} -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VTLOG_SANITIZE})
endif()

if(VTLOG_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VTLOG_BUILD_FUZZERS needs Clang (libFuzzer)")
  endif()
  # Coverage feedback for everything the fuzzers reach; only the fuzz targets themselves link
  # libFuzzer's main (-fsanitize=fuzzer), so the gtest suites of the same tree keep theirs.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
