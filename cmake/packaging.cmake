# Release packages, made by cpack from the install rules of a build:
#   Linux:    cpack --config build/CPackConfig.cmake      -> c6x-velm_<version>_<arch>.deb
#             both tools in /usr/bin, their man pages in /usr/share/man/man1
#   Windows:  cpack --config build-win/CPackConfig.cmake  -> c6x_velm-<version>-win64.zip
#             both .exe files, README.md and the man pages rendered as text, in one folder
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts TI C6000 COFF executables into VELM boot images, and inspects the images")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)  # the debugging information stays in the build
# The tools' install rules only (they name no component); velm_boot, the loader library
# for host firmware (component velm_boot), is not part of the tools' packages.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME c6x_velm)
    set(CPACK_PACKAGE_FILE_NAME c6x_velm-${PROJECT_VERSION}-win64)

    # The man pages as plain text, for a system without man: rendered by the host's groff
    # without bold or underline overstrikes, with CR LF line ends.
    find_program(VELM_GROFF_RENDER groff)
    if(NOT VELM_GROFF_RENDER)
        message(FATAL_ERROR "groff renders the man pages for the Windows package: install the "
                            "Debian package groff-base")
    endif()
    set(VELM_MAN_TEXT "")
    foreach(page c6x_velm velm_dump)
        set(text ${PROJECT_BINARY_DIR}/${page}.txt)
        add_custom_command(
            OUTPUT ${text}
            COMMAND ${CMAKE_COMMAND} -DGROFF=${VELM_GROFF_RENDER}
                    -DPAGE=${PROJECT_SOURCE_DIR}/man/${page}.1 -DTEXT=${text}
                    -P ${PROJECT_SOURCE_DIR}/cmake/render_man.cmake
            DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 ${PROJECT_SOURCE_DIR}/cmake/render_man.cmake
            COMMENT "Rendering man/${page}.1 as text"
            VERBATIM)
        list(APPEND VELM_MAN_TEXT ${text})
    endforeach()
    add_custom_target(man_text ALL DEPENDS ${VELM_MAN_TEXT})
    install(FILES README.md ${VELM_MAN_TEXT} DESTINATION .)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME c6x-velm)  # Debian package names take no '_'
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION devel)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "c6x_velm maintainers")
    # cpack puts the summary line first.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
           "c6x_velm turns a linked TI C6000 DSP program (COFF2) into a VELM boot\n"
           "image, as C source or raw little-endian binary, for host firmware to boot\n"
           "the DSP with. velm_dump lists, checks and compares such images.")
    # The library dependencies (velm_dump's C++ runtime) as dpkg-shlibdeps finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
