# cpack runs this on the .deb's staging tree after installing into it and before making
# the package: what Debian's policy wants beside the programs.
#   - the man pages compressed with gzip -9n (-n: no name or time stamp, so that the same
#     sources give the same bytes);
#   - /usr/share/doc/c6x-velm/copyright: LICENSE in Debian's machine-readable format;
#   - /usr/share/doc/c6x-velm/changelog.gz: CHANGELOG.md in Debian's changelog format;
#   - no .comment section (the compiler's version) in the programs.
# Variables from packaging.cmake: CPACK_VELM_SOURCE_DIR, CPACK_VELM_GZIP, CPACK_VELM_STRIP,
# CPACK_VELM_CONTACT.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")

function(gzip_file path)
    execute_process(COMMAND "${CPACK_VELM_GZIP}" -9nf "${path}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip failed on ${path}")
    endif()
endfunction()

# The lines of a text file as a list. Characters that a CMake list would take apart (";")
# or group ("[", "]") travel as placeholders; each line is restored by restore_line.
function(read_lines path var)
    file(READ "${path}" text)
    string(REPLACE ";" "<semicolon>" text "${text}")
    string(REPLACE "[" "<open>" text "${text}")
    string(REPLACE "]" "<close>" text "${text}")
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" ";" text "${text}")
    set(${var} "${text}" PARENT_SCOPE)
endfunction()
macro(restore_line line)
    string(REPLACE "<semicolon>" ";" ${line} "${${line}}")
    string(REPLACE "<open>" "[" ${line} "${${line}}")
    string(REPLACE "<close>" "]" ${line} "${${line}}")
endmacro()

file(GLOB pages "${root}/share/man/man1/*.1")
foreach(page ${pages})
    gzip_file("${page}")
endforeach()

if(CPACK_VELM_STRIP)
    file(GLOB programs "${root}/bin/*")
    foreach(program ${programs})
        execute_process(COMMAND "${CPACK_VELM_STRIP}" --remove-section=.comment "${program}"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "strip failed on ${program}")
        endif()
    endforeach()
endif()

# copyright. LICENSE is the MIT licence: its title, the copyright line, then the text.
# Debian's name for this licence is Expat; in the file format, a licence text is indented
# by one space and its empty lines are " .".
read_lines("${CPACK_VELM_SOURCE_DIR}/LICENSE" lines)
set(holder "")
set(text "")
set(gap "")
foreach(line IN LISTS lines)
    restore_line(line)
    if(line MATCHES "^Copyright \\(c\\) (.*)$")
        set(holder "${CMAKE_MATCH_1}")
    elseif(holder STREQUAL "")
        # the title, before the copyright line
    elseif(line STREQUAL "")
        if(NOT text STREQUAL "")
            set(gap " .\n")  # only between paragraphs
        endif()
    else()
        string(APPEND text "${gap} ${line}\n")
        set(gap "")
    endif()
endforeach()
if(holder STREQUAL "" OR text STREQUAL "")
    message(FATAL_ERROR "LICENSE: no copyright line or no licence text")
endif()
file(WRITE "${doc}/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: c6x_velm\n"
     "Upstream-Contact: ${CPACK_VELM_CONTACT}\n"
     "\n"
     "Files: *\n"
     "Copyright: ${holder}\n"
     "License: Expat\n"
     "\n"
     "License: Expat\n"
     "${text}")

# changelog. CHANGELOG.md holds one "## VERSION (YYYY-MM-DD)" heading per release, newest
# first, each followed by "- " items whose further lines are indented by two spaces; the
# rest of the file is for its readers. Each release becomes one Debian changelog entry.
read_lines("${CPACK_VELM_SOURCE_DIR}/CHANGELOG.md" lines)
set(days Sun Mon Tue Wed Thu Fri Sat)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(changelog "")
set(trailer "")
foreach(line IN LISTS lines)
    restore_line(line)
    if(line MATCHES "^## ([0-9][0-9.]*) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
        set(version ${CMAKE_MATCH_1})
        set(year ${CMAKE_MATCH_2})
        set(dd ${CMAKE_MATCH_4})
        math(EXPR month "1${CMAKE_MATCH_3} - 100")
        math(EXPR day "1${dd} - 100")
        # Day of the week (Sakamoto's method), which the changelog's date line names.
        set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
        math(EXPR index "${month} - 1")
        list(GET offsets ${index} offset)
        set(y ${year})
        if(month LESS 3)
            math(EXPR y "${y} - 1")
        endif()
        math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
        list(GET days ${weekday} day_name)
        list(GET months ${index} month_name)
        string(APPEND changelog "${trailer}${CPACK_PACKAGE_NAME} (${version}) unstable; "
                                "urgency=medium\n\n")
        string(CONCAT trailer "\n -- ${CPACK_VELM_CONTACT}  ${day_name}, ${dd} ${month_name} "
                              "${year} 00:00:00 +0000\n\n")
    elseif(trailer STREQUAL "")
        # before the first release
    elseif(line MATCHES "^- (.*)$")
        string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  (.*)$")
        string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
    elseif(NOT line STREQUAL "")
        message(FATAL_ERROR "CHANGELOG.md: not an item of a release: ${line}")
    endif()
endforeach()
if(changelog STREQUAL "")
    message(FATAL_ERROR "CHANGELOG.md: no release heading")
endif()
string(REGEX REPLACE "\n\n$" "\n" changelog "${changelog}${trailer}")
file(WRITE "${doc}/changelog" "${changelog}")
gzip_file("${doc}/changelog")
