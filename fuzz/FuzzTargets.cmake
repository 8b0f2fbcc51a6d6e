# kestra_fuzz_target(<source> <mode>)
# One fuzz target from fuzz/NAME_fuzz.cpp. Mode FUZZ builds the libFuzzer
# program NAME_fuzz; mode REPLAY builds replay_NAME, which runs the same
# checks over the files of fuzz/corpus/NAME (the seeds, and every input that
# once broke a check) as a test of the ordinary build.
function(kestra_fuzz_target source mode)
    get_filename_component(target ${source} NAME_WE)
    string(REGEX REPLACE "_fuzz$" "" name ${target})
    set(sources ${source})
    # The splash decoder lives in the shell, which needs Qt; the target takes
    # its one source instead, which needs nothing beyond the standard library.
    if(name STREQUAL "splash")
        list(APPEND sources ${PROJECT_SOURCE_DIR}/shell/SplashBitmap.cpp)
    endif()
    # The emulator's target links the emulator alone, which uses nothing of
    # the configuration or the platform.
    set(links kestra_console)
    if(name STREQUAL "emulator")
        set(links kestra_emulator)
    endif()
    # The VT102 comparison needs libvterm, which only it and the benchmarks use.
    if(name STREQUAL "vt102diff")
        find_package(PkgConfig QUIET)
        if(PkgConfig_FOUND AND NOT TARGET PkgConfig::VTERM)
            pkg_check_modules(VTERM QUIET IMPORTED_TARGET vterm)
        endif()
        if(NOT TARGET PkgConfig::VTERM)
            message(STATUS "libvterm not found: the VT102 comparison is not built")
            return()
        endif()
        set(links kestra_emulator PkgConfig::VTERM)
    endif()
    if(mode STREQUAL "FUZZ")
        add_executable(${target} ${sources})
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
        target_link_options(${target} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${target} PRIVATE ${links})
    else()
        add_executable(replay_${name} ${sources} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
        target_link_libraries(replay_${name} PRIVATE ${links})
        add_test(NAME FuzzCorpus.${name}
                 COMMAND replay_${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
        set_tests_properties(FuzzCorpus.${name} PROPERTIES TIMEOUT 120)
    endif()
endfunction()
