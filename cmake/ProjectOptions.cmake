# One interface target carries the language standard, the warnings and the
# sanitizer switches to every target of the project.
add_library(harmonyfox_options INTERFACE)
target_compile_features(harmonyfox_options INTERFACE cxx_std_20)
target_compile_options(harmonyfox_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wno-unused-parameter
  # The fingerprint numerics are defined operation by operation; a fused
  # multiply-add would change stored values.
  -ffp-contract=off)

if(HARMONYFOX_SANITIZE STREQUAL "address")
  # Undefined behaviour stops the program, so that a test or a fuzz target fails on it.
  target_compile_options(harmonyfox_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(harmonyfox_options INTERFACE -fsanitize=address,undefined)
elseif(HARMONYFOX_SANITIZE STREQUAL "thread")
  target_compile_options(harmonyfox_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(harmonyfox_options INTERFACE -fsanitize=thread)
  # A function built for several processors is chosen by a resolver that runs
  # before the thread checker has started, and crashes it: one build each.
  set(HF_CLONES_OFF ON)
elseif(NOT HARMONYFOX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "HARMONYFOX_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Fuzzing: everything is built with libFuzzer's coverage counters; only the
# targets in fuzz/ link libFuzzer itself.
if(HARMONYFOX_FUZZ)
  target_compile_options(harmonyfox_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

find_program(HARMONYFOX_CCACHE ccache)
if(HARMONYFOX_CCACHE)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${HARMONYFOX_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${HARMONYFOX_CCACHE})
endif()


# HF_CLONES_AVX2 and HF_CLONES_X86_64_V3 build a function for the processors
# named as well as for any, and pick one when the program loads.
if(HF_CLONES_OFF)
  target_compile_definitions(harmonyfox_options INTERFACE HF_CLONES_AVX2= HF_CLONES_X86_64_V3=)
else()
  target_compile_definitions(harmonyfox_options INTERFACE
    [[HF_CLONES_AVX2=__attribute__((target_clones("avx2","default")))]]
    [[HF_CLONES_X86_64_V3=__attribute__((target_clones("arch=x86-64-v3","default")))]])
endif()
