// A C6000 program given to --diff in place of an image: "is the image in my firmware the
// one this build of the DSP program makes?" The program is converted in this process by
// the converter itself (convert_held_program in driver/run.h), the same load, checks and
// pass as `c6x_velm PROGRAM IMAGE -b`, so velm_dump never holds a second idea of what the
// image should be. The BINARY bytes go straight into the record decoder as the converter
// hands over its buffers; they are never kept in memory.
//
// The comparison reads each side twice (image_diff.h). The conversion is deterministic,
// so a program read first for its record table can simply be converted again for the
// second pass, as the streamed side. Only when both sides are programs does one of them
// need its bytes at random: its image is then copied into an anonymous temporary file as
// it is made, the way a piped image is, and that copy stands in for the program.
#ifndef C6X_VELM_DUMP_PROGRAM_IMAGE_H
#define C6X_VELM_DUMP_PROGRAM_IMAGE_H

#include <string>

#include "dump/image_diff.h"
#include "dump/image_reader.h"
#include "dump/source.h"

namespace velm::dump {

// The first pass over a program (read_begin said ReadStatus::program): converts it and
// decodes its image into *image. With `keep`, the image is also copied into a temporary
// file, which replaces the program as what `src` reads from (at random, from its start).
// A program that is not a file on a disk (a pipe, bytes in memory) is first copied whole
// into a temporary file, as the converter reads its input at random.
// ReadStatus::refused when the converter refuses the program (image->failure holds
// its message line, "error: ..."); io_error or no_memory as read_rest gives them.
ReadStatus read_program(Source* src, ImageRead* image, bool keep);

// The second pass: the program converted again, its bytes pushed into the replay in order.
// For DiffSide::again, with the program's Source as `ctx`.
bool replay_program(void* ctx, Replay* replay, std::string* reason);

}  // namespace velm::dump

#endif
