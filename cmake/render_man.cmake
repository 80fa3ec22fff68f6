# Renders the man page PAGE as plain text into TEXT with groff (GROFF), CR LF line ends.
# With SECTION, the page's "ON LINUX" section is replaced by the roff text in that file
# first (the Windows package's manuals describe Windows instead).
#   cmake -DGROFF=groff -DPAGE=man/c6x_velm.1 [-DSECTION=file] -DTEXT=c6x_velm.txt
#         -P cmake/render_man.cmake
file(READ ${PAGE} page)
if(SECTION)
    # The section runs from its heading to the next heading.
    string(FIND "${page}" "\n.SH ON LINUX\n" begin)
    if(begin EQUAL -1)
        message(FATAL_ERROR "${PAGE} has no ON LINUX section to replace")
    endif()
    math(EXPR after "${begin} + 1")
    string(SUBSTRING "${page}" ${after} -1 rest)
    string(FIND "${rest}" "\n.SH " length)
    if(length EQUAL -1)
        message(FATAL_ERROR "${PAGE}: the ON LINUX section is the last one")
    endif()
    math(EXPR length "${length} + 1")
    string(SUBSTRING "${page}" 0 ${after} head)
    string(SUBSTRING "${rest}" ${length} -1 tail)
    file(READ ${SECTION} replacement)
    set(page "${head}${replacement}${tail}")
endif()
get_filename_component(name ${PAGE} NAME)
set(source ${TEXT}.${name})
file(WRITE ${source} "${page}")
execute_process(
    COMMAND ${GROFF} -t -man -Tascii -P-c -P-b -P-o -P-u ${source}
    OUTPUT_VARIABLE text
    RESULT_VARIABLE status)
file(REMOVE ${source})
if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff failed on ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
