# Renders the man page PAGE as plain text into TEXT with groff (GROFF), CR LF line ends.
#   cmake -DGROFF=groff -DPAGE=man/c6x_velm.1 -DTEXT=c6x_velm.txt -P cmake/render_man.cmake
execute_process(
    COMMAND ${GROFF} -t -man -Tascii -P-c -P-b -P-o -P-u ${PAGE}
    OUTPUT_VARIABLE text
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff failed on ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
