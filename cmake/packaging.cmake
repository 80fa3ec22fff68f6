# Release packages, made by cpack from the install rules of a build:
#   Linux:    cpack --config build/CPackConfig.cmake      -> c6x-velm_<version>_<arch>.deb
#             both tools in /usr/bin, their man pages (gzipped) in /usr/share/man/man1, the
#             licence (copyright) and CHANGELOG.md (changelog.gz) in /usr/share/doc/c6x-velm
#   Windows:  cpack --config build-win/CPackConfig.cmake  -> c6x_velm-<version>-win64.zip
#             both .exe files, README.txt, LICENSE.txt and the man pages as text, with a
#             section on Windows in place of the one on Linux, in one folder
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert TI C6000 DSP programs into VELM boot images, and inspect them")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)  # the debugging information stays in the build
# The tools' install rules only (they name no component); velm_boot, the loader library
# for host firmware (component velm_boot), is not part of the tools' packages.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
# The project's contact, as in its commits.
set(VELM_CONTACT "c6x_velm maintainers <maintainers@users.noreply.c-seed-9c4501d8.example>")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME c6x_velm)
    set(CPACK_PACKAGE_FILE_NAME c6x_velm-${PROJECT_VERSION}-win64)

    # The man pages as plain text, for a system without man: rendered by the host's groff
    # without bold or underline overstrikes, with the Windows section of packaging/windows/
    # in place of the page's section on Linux. Every text file gets CR LF line ends, which
    # is what Notepad and the other Windows tools expect.
    find_program(VELM_GROFF_RENDER groff)
    if(NOT VELM_GROFF_RENDER)
        message(FATAL_ERROR "groff renders the man pages for the Windows package: install the "
                            "Debian package groff-base")
    endif()
    set(VELM_WINDOWS_TEXT "")
    foreach(page c6x_velm velm_dump)
        set(text ${PROJECT_BINARY_DIR}/${page}.txt)
        set(section ${PROJECT_SOURCE_DIR}/packaging/windows/${page}-on-windows.man)
        add_custom_command(
            OUTPUT ${text}
            COMMAND ${CMAKE_COMMAND} -DGROFF=${VELM_GROFF_RENDER}
                    -DPAGE=${PROJECT_SOURCE_DIR}/man/${page}.1 -DSECTION=${section}
                    -DTEXT=${text} -P ${PROJECT_SOURCE_DIR}/cmake/render_man.cmake
            DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 ${section}
                    ${PROJECT_SOURCE_DIR}/cmake/render_man.cmake
            COMMENT "Rendering man/${page}.1 as text for Windows"
            VERBATIM)
        list(APPEND VELM_WINDOWS_TEXT ${text})
    endforeach()
    foreach(pair "packaging/windows/README.txt;README.txt" "LICENSE;LICENSE.txt")
        list(GET pair 0 source)
        list(GET pair 1 name)
        add_custom_command(
            OUTPUT ${PROJECT_BINARY_DIR}/${name}
            COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${source}
                    -DOUT=${PROJECT_BINARY_DIR}/${name} -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
            DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
            COMMENT "Writing ${name} with CR LF line ends"
            VERBATIM)
        list(APPEND VELM_WINDOWS_TEXT ${PROJECT_BINARY_DIR}/${name})
    endforeach()
    add_custom_target(windows_text ALL DEPENDS ${VELM_WINDOWS_TEXT})
    install(FILES ${VELM_WINDOWS_TEXT} DESTINATION .)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME c6x-velm)  # Debian package names take no '_'
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION devel)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELM_CONTACT}")
    # cpack puts the summary line first.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
           "c6x_velm turns a linked TI C6000 DSP program (a COFF2 or an ELF executable)\n"
           "into a VELM boot image, as C source or raw little-endian binary, for host\n"
           "firmware to boot the DSP with. velm_dump lists, checks and compares such\n"
           "images.")
    # The library dependencies (the C library, velm_dump's C++ runtime) as dpkg-shlibdeps
    # finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # What Debian wants beside the programs, added to cpack's staging tree before the
    # package is made (cmake/deb_docs.cmake): the man pages compressed, the copyright
    # file and the changelog. A plain `cmake --install` keeps the man pages as they are.
    find_program(VELM_GZIP gzip REQUIRED)
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_docs.cmake)
    set(CPACK_VELM_SOURCE_DIR ${PROJECT_SOURCE_DIR})
    set(CPACK_VELM_GZIP ${VELM_GZIP})
    set(CPACK_VELM_STRIP ${CMAKE_STRIP})
    set(CPACK_VELM_CONTACT "${VELM_CONTACT}")
endif()

include(CPack)
