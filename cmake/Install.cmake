# The installed tree: the programs that read the terminal definition live in
# libexec/kestra and are started through small launchers in bin that add
# share/kestra (where VT100.CNF is) to the definition search, so KESTRA finds
# its definition from any directory without data files in bin.
include(GNUInstallDirs)

set(KESTRA_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/kestra)
set(KESTRA_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kestra)
# Named after the package, as Debian names documentation folders.
set(KESTRA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestra)
set(KESTRA_LAUNCHED_PROGRAMS kestra kestra-check kestra-replay)

install(TARGETS ${KESTRA_LAUNCHED_PROGRAMS} RUNTIME DESTINATION ${KESTRA_LIBEXEC_DIR})
install(TARGETS kestra-serve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/VT100.CNF ${PROJECT_SOURCE_DIR}/data/demo.cnf
        DESTINATION ${KESTRA_DATA_DIR})

# Desktop integration: the menu entry and the application icon in the sizes
# desktops look for.
install(FILES ${PROJECT_SOURCE_DIR}/data/kestra.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages, stamped with the project's version.
file(GLOB KESTRA_MAN_PAGES ${PROJECT_SOURCE_DIR}/man/*.1)
foreach(PAGE ${KESTRA_MAN_PAGES})
    get_filename_component(PAGE_NAME ${PAGE} NAME)
    configure_file(${PAGE} ${CMAKE_BINARY_DIR}/man/${PAGE_NAME} @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/man/${PAGE_NAME} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The guide and sample configurations.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/user-guide.md
              ${PROJECT_SOURCE_DIR}/docs/linux-choices.md ${PROJECT_SOURCE_DIR}/data/copyright
        DESTINATION ${KESTRA_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/demo.cnf ${PROJECT_SOURCE_DIR}/data/examples/lab.cnf
        DESTINATION ${KESTRA_DOC_DIR}/examples)

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
