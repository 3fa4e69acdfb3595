#include "app/DumpOutput.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>

namespace pg {

namespace {

// The runtime leaves standard output unbuffered when it is a console or a device, and Wine's
// runtime then writes it in tiny pieces (a refresh of a thousand downloads took close to a
// minute); with a buffer, flushed when a refresh or a single lookup ends, the dump costs a few
// large writes. The stream is also switched to binary mode with the reader making the CR LF line
// ends itself: the bytes stay those of a text-mode stream, without the runtime's conversion on
// every write, which took a good part of a large refresh. Nothing else in the program writes to
// standard output, and the runtime wants both set before the first output.
bool SetUpOnce()
{
    static const bool buffered = std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16) == 0;
    static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
    static_cast<void>(buffered);
    return binary;
}

} // namespace

void PrepareDumpOutput()
{
    SetUpOnce();
}

DumpTarget DumpOutput()
{
    return DumpTarget(stdout, SetUpOnce());
}

} // namespace pg
