# kestra_library(NAME <target> [SUBDIR <dir>] [LINKS <targets...>])
# Builds every .cpp of the current folder (or SUBDIR of it) into one static
# library, so adding a source file needs no change here. A folder that has no
# sources yet becomes an interface library that still carries its include path
# and links.
function(kestra_library)
    cmake_parse_arguments(ARG "" "NAME;SUBDIR" "LINKS" ${ARGN})
    set(dir ${CMAKE_CURRENT_SOURCE_DIR})
    if(ARG_SUBDIR)
        set(dir ${dir}/${ARG_SUBDIR})
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    if(sources)
        add_library(${ARG_NAME} STATIC ${sources} ${headers})
        target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LINKS})
    else()
        add_library(${ARG_NAME} INTERFACE)
        target_include_directories(${ARG_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} INTERFACE ${ARG_LINKS})
    endif()
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
