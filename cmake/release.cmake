# Release: one version (project(VERSION)) carried by the Windows version
# resource, the install rules and the CPack packages. Included (deferred) at the
# end of the top-level CMakeLists.txt, so every program target exists by now.
set(BRASKELOT_AUTHORS "The braskelot_win_input authors")
set(BRASKELOT_SUMMARY "Drives the mouse and keyboard for a controlling process over stdin")
set(BRASKELOT_MAINTAINER "Seed 7e21f20f maintainers <maintainers@users.noreply.c-seed-7e21f20f.example>")

set(BRASKELOT_PROGRAMS braskelot_win_input braskelot_trace braskelot_x11_input braskelot_wayland_input)
foreach(program IN LISTS BRASKELOT_PROGRAMS)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin)
    endif()
endforeach()

if(WIN32)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
    target_sources(braskelot_win_input PRIVATE ${CMAKE_BINARY_DIR}/version.rc)
    # PE files otherwise carry the link time.
    target_link_options(braskelot_win_input PRIVATE -Wl,--no-insert-timestamp)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME braskelot_win_input-${PROJECT_VERSION}-windows-x86_64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    set(BRASKELOT_DOC_DIR share/doc/braskelot)
    install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${BRASKELOT_DOC_DIR})
    # The README's links to the pages per program resolve beside it.
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION ${BRASKELOT_DOC_DIR} FILES_MATCHING PATTERN "*.md")
    # Debian policy: the changelog and man pages compressed with gzip -n -9
    # (no name, no time stamp), so the package is the same from any build.
    find_program(BRASKELOT_GZIP gzip REQUIRED)
    function(braskelot_install_gzipped source name destination)
        set(gz ${CMAKE_BINARY_DIR}/${name}.gz)
        add_custom_command(OUTPUT ${gz}
            COMMAND ${BRASKELOT_GZIP} -n -9 -c ${source} > ${gz}
            DEPENDS ${source} VERBATIM)
        add_custom_target(braskelot_gzip_${name} ALL DEPENDS ${gz})
        install(FILES ${gz} DESTINATION ${destination})
    endfunction()
    braskelot_install_gzipped(${CMAKE_SOURCE_DIR}/packaging/changelog changelog ${BRASKELOT_DOC_DIR})
    foreach(program braskelot_trace braskelot_x11_input braskelot_wayland_input)
        if(TARGET ${program})
            braskelot_install_gzipped(${CMAKE_SOURCE_DIR}/packaging/${program}.1 ${program}.1 share/man/man1)
        endif()
    endforeach()

    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_NAME braskelot)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRASKELOT_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A controlling process starts the program with pipes on its standard input
 and output and writes one text command per line: place the pointer, press,
 release or click a button, turn the wheel, tap, press or release a key,
 release everything, ping, quit. braskelot_x11_input injects into an X11
 display through XTest, braskelot_wayland_input into a wlroots Wayland
 compositor (sway and others) through its virtual keyboard and pointer.
 braskelot_trace is the dry-run program: it answers as the real one does and
 writes each event it would inject to standard error.")
    set(CPACK_PACKAGE_FILE_NAME braskelot-${PROJECT_VERSION}-linux-x86_64)
endif()
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${BRASKELOT_AUTHORS}")
set(CPACK_PACKAGE_CONTACT "${BRASKELOT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${BRASKELOT_SUMMARY}")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

# The version the release script and the client package check against.
file(WRITE ${CMAKE_BINARY_DIR}/VERSION "${PROJECT_VERSION}\n")
