# The layers, and what each may link. A library names its layer; a link to a
# library of a layer its row does not allow (a link upward), or to Qt from a
# layer that may not use it, stops the configuration.
set(KESTRA_MAY_USE_parsing "")
set(KESTRA_MAY_USE_definition "")
set(KESTRA_MAY_USE_emulator definition)
set(KESTRA_MAY_USE_platform "")
set(KESTRA_MAY_USE_platform_qt platform Qt X11)
set(KESTRA_MAY_USE_config parsing platform)
set(KESTRA_MAY_USE_termdef parsing definition config)
set(KESTRA_MAY_USE_console parsing definition emulator platform config termdef)
set(KESTRA_MAY_USE_console_window ${KESTRA_MAY_USE_console} console platform_qt Qt)
set(KESTRA_MAY_USE_shell ${KESTRA_MAY_USE_console_window} console_window)
set(KESTRA_MAY_USE_tools ${KESTRA_MAY_USE_console} console)

# kestra_check_links(<target> <layer> <links...>)
function(kestra_check_links target layer)
    if(NOT DEFINED KESTRA_MAY_USE_${layer})
        message(FATAL_ERROR "${target}: no layer named ${layer}")
    endif()
    foreach(link ${ARGN})
        if(link STREQUAL "Threads::Threads")
            continue() # the standard library's threads
        elseif(link MATCHES "^Qt6::")
            set(used Qt)
        elseif(link MATCHES "^X11::")
            set(used X11)
        elseif(TARGET ${link})
            get_target_property(used ${link} KESTRA_LAYER)
        else()
            set(used ${link})
        endif()
        if(NOT used IN_LIST KESTRA_MAY_USE_${layer})
            message(FATAL_ERROR "${target} (layer ${layer}) may not link ${link} (${used}): "
                                "a layer links only what its row above allows")
        endif()
    endforeach()
endfunction()

# kestra_library(NAME <target> LAYER <layer> [SUBDIR <dir>] [HEADERS_ONLY]
#                [LINKS <targets...>])
# Builds every .cpp of the current folder (or SUBDIR of it) into one static
# library, so adding a source file needs no change here. HEADERS_ONLY makes
# an interface library that carries its include path and links.
function(kestra_library)
    cmake_parse_arguments(ARG "HEADERS_ONLY" "NAME;SUBDIR;LAYER" "LINKS" ${ARGN})
    kestra_check_links(${ARG_NAME} ${ARG_LAYER} ${ARG_LINKS})
    set(dir ${CMAKE_CURRENT_SOURCE_DIR})
    if(ARG_SUBDIR)
        set(dir ${dir}/${ARG_SUBDIR})
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    if(NOT ARG_HEADERS_ONLY)
        add_library(${ARG_NAME} STATIC ${sources} ${headers})
        target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LINKS})
    else()
        add_library(${ARG_NAME} INTERFACE)
        target_include_directories(${ARG_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} INTERFACE ${ARG_LINKS})
    endif()
    set_target_properties(${ARG_NAME} PROPERTIES KESTRA_LAYER ${ARG_LAYER})
endfunction()

# kestra_test(NAME <target> SOURCES_DIR <dir> LINKS <targets...> [ENV <vars...>]
#             [LABELS <labels...>])
# One GoogleTest executable per tested folder; every TEST becomes a CTest case,
# carrying the labels (ctest -L) when given.
function(kestra_test)
    cmake_parse_arguments(ARG "SERIAL" "NAME;SOURCES_DIR" "LINKS;ENV;LABELS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_SOURCES_DIR}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${ARG_NAME} ${sources})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock
                                              GTest::gtest_main Threads::Threads)
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${ARG_NAME} PRIVATE
        KESTRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        KESTRA_BINARY_DIR="${PROJECT_BINARY_DIR}")
    set(labels)
    if(ARG_LABELS)
        set(labels LABELS "${ARG_LABELS}")
    endif()
    # Tests that type into a real X server with timed waits run alone: a
    # flood or a sanitizer build beside them can hold a key past its wait.
    set(serial)
    if(ARG_SERIAL)
        set(serial RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${ARG_NAME}
        DISCOVERY_TIMEOUT 60
        # gtest_discover_tests passes properties through a generated script,
        # where a plain ; would split the list: escape it.
        PROPERTIES ENVIRONMENT "KESTRA_DATA=${PROJECT_SOURCE_DIR}/data\\;${ARG_ENV}"
                   TIMEOUT 120 ${labels} ${serial})
endfunction()
