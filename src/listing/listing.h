// The -d mode: the file's description and one line per non-empty section.
#ifndef C6X_VELM_LISTING_LISTING_H
#define C6X_VELM_LISTING_LISTING_H

#include "core/status.h"

namespace velm {

// Prints the directory of the loaded input to the console. Allocates nothing, writes no
// file and cannot fail: always kOk.
Status list_directory();

}  // namespace velm

#endif
