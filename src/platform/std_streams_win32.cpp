#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/std_streams.h"

namespace velm {

void std_streams_binary() {
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace velm
