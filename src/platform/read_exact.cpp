#include "platform/input_file.h"

namespace velm {

Status read_exact(int16_t handle, void* destination, int32_t count) {
    uint8_t* dest = static_cast<uint8_t*>(destination);
    int32_t remaining = count;
    while (remaining > 0) {
        int32_t piece = remaining < kReadPiece ? remaining : kReadPiece;
        if (in_read(handle, dest, piece) != piece) return kReadError;
        dest += piece;
        remaining -= piece;
    }
    return kOk;
}

}  // namespace velm
