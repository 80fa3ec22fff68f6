// Standard input, output and error as plain byte streams.
//
// velm_dump reads BINARY images from standard input and writes its own line ends. A C
// runtime that translates text (Windows: a 0x1A byte ends the input, a CR before LF is
// dropped on reading, every "\n" written becomes "\r\n") would cut images short and
// change the listings, so the three streams are switched to binary once at start-up.
#ifndef C6X_VELM_PLATFORM_STD_STREAMS_H
#define C6X_VELM_PLATFORM_STD_STREAMS_H

namespace velm {

void std_streams_binary();

}  // namespace velm

#endif
