// Test fixture: writes pieces of bytes to standard output, one write each, with a pause between
// them, so that a test decides where the reader's reads split. Every piece is given in hex.
//   piecewriter <pause-ms> <hex-piece>...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

// No line-end translation: the bytes arrive exactly as given.
void useBinaryStandardOutput();

namespace {

bool fromHex(const char *hex, std::string &bytes)
{
    const std::string text(hex);
    if (text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char *end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0')
            return false;
        bytes += static_cast<char>(value);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    const long pauseMs = argc > 1 ? std::strtol(argv[1], &end, 10) : -1;
    if (argc < 2 || *end != '\0' || pauseMs < 0) {
        std::puts("piecewriter: usage: piecewriter <pause-ms> <hex-piece>...");
        return 2;
    }
    useBinaryStandardOutput();
    for (int i = 2; i < argc; ++i) {
        std::string bytes;
        if (!fromHex(argv[i], bytes))
            return 2;
        if (i > 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
