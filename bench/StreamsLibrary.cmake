# The benchmarks' stream generator, a library of its own so that every bench
# program and the emulator tests can use it. Included from bench/ and from
# tests/, since a build may leave out either (the sanitizer build has no
# benchmarks).
if(NOT TARGET kestra_bench_streams)
    add_library(kestra_bench_streams STATIC
        ${PROJECT_SOURCE_DIR}/bench/StreamGenerator.cpp
        ${PROJECT_SOURCE_DIR}/bench/StreamGenerator.h)
    target_include_directories(kestra_bench_streams PUBLIC ${PROJECT_SOURCE_DIR})
endif()
