# The installed tree: the programs that read the terminal definition live in
# libexec/kestra and are started through small launchers in bin that add
# share/kestra (where VT100.CNF is) to the definition search, so KESTRA finds
# its definition from any directory without data files in bin.
include(GNUInstallDirs)

set(KESTRA_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/kestra)
set(KESTRA_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kestra)
set(KESTRA_LAUNCHED_PROGRAMS kestra kestra-check kestra-replay)

install(TARGETS ${KESTRA_LAUNCHED_PROGRAMS} RUNTIME DESTINATION ${KESTRA_LIBEXEC_DIR})
install(TARGETS kestra-serve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/VT100.CNF ${PROJECT_SOURCE_DIR}/data/demo.cnf
        DESTINATION ${KESTRA_DATA_DIR})

# Launchers for the installed tree, and the same launchers for the build tree
# in build/<preset>/run/, which find the definition in the source's data/.
file(RELATIVE_PATH DATA_FROM_LAUNCHER /${CMAKE_INSTALL_BINDIR} /${KESTRA_DATA_DIR})
file(RELATIVE_PATH PROGRAM_FROM_LAUNCHER /${CMAKE_INSTALL_BINDIR} /${KESTRA_LIBEXEC_DIR})
foreach(PROGRAM ${KESTRA_LAUNCHED_PROGRAMS})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/launcher.sh.in
                   ${CMAKE_BINARY_DIR}/launchers/${PROGRAM} @ONLY)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/launchers/${PROGRAM} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

file(RELATIVE_PATH DATA_FROM_LAUNCHER ${CMAKE_BINARY_DIR}/run ${PROJECT_SOURCE_DIR}/data)
file(RELATIVE_PATH PROGRAM_FROM_LAUNCHER ${CMAKE_BINARY_DIR}/run ${CMAKE_BINARY_DIR}/bin)
foreach(PROGRAM ${KESTRA_LAUNCHED_PROGRAMS})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/launcher.sh.in ${CMAKE_BINARY_DIR}/run/${PROGRAM}
                   @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
