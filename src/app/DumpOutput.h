#pragma once
// Standard output, where the metadata reader's dump goes.
#include "catalogue/PartMetFile.h"

namespace pg {

// Sets standard output up for the dump, once per process; start-up calls it before anything is
// written. Later calls change nothing.
void PrepareDumpOutput();

// The dump's target: standard output, as PrepareDumpOutput left it (it is called if need be).
DumpTarget DumpOutput();

} // namespace pg
