# Copies the text file IN to OUT with CR LF line ends, for the Windows package.
#   cmake -DIN=LICENSE -DOUT=LICENSE.txt -P cmake/crlf.cmake
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
