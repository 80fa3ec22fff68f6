#include "core/run_state.h"

namespace velm {

RunState run_state;

void reset_run_state() {
    run_state = RunState{};
}

}  // namespace velm
