#include "driver/run_state.h"

namespace velm {

RunState run_state;

void reset_run_state() {
    run_state = RunState{};
}

SectionHeader section_at(const uint8_t* at) {
    SectionHeader h;
    const RunState& rs = run_state;
    const uint8_t* begin = rs.header_area;
    const uint8_t* end = begin ? begin + rs.header_area_size : nullptr;
    ByteSpan span{nullptr, 0};
    if (begin != nullptr && at >= begin && at <= end) {
        span = ByteSpan{at, static_cast<size_t>(end - at)};
    }
    decode_section_header(span, &h);
    return h;
}

OptHeader optional_header() {
    OptHeader h;
    const RunState& rs = run_state;
    ByteSpan span{nullptr, 0};
    if (rs.opt_header != nullptr) span = ByteSpan{rs.opt_header, rs.header_area_size};
    decode_opt_header(span, &h);
    return h;
}

}  // namespace velm
