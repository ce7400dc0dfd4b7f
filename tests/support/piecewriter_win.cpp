#include <cstdio>

#include <fcntl.h>
#include <io.h>

// The C runtime's standard output is in text mode and would turn every LF into CR LF.
void useBinaryStandardOutput()
{
    _setmode(_fileno(stdout), _O_BINARY);
}
