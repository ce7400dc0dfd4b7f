// Test fixture: writes pieces of bytes to standard output, one write each, with a pause between
// them, so that a test decides where the reader's reads split. Every piece is given in hex.
//   piecewriter <pause-ms> <hex-piece>...
// Or writes numbered lines as fast as the pipe takes them, up to about `bytes`, and after each
// write of a block of them keeps the number of lines written so far in `progress-file` ("-": none);
// --flood-line writes the same records without line ends, as one line:
//   piecewriter --flood <bytes> <progress-file>
//   piecewriter --flood-line <bytes> <progress-file>
// Or asks `count` times, as a program that wants an answer does: writes "ask<n>? " without a line
// end, reads a line and writes "got[<line>]"; "eof" when its input ends first:
//   piecewriter --ask <count>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Lines of 32 bytes with the CR LF of a Windows program: "0000000001 " and filler, numbered
// from 1, in blocks of 512 a write; or, as one line, each record ending in two blanks.
int flood(long long bytes, const char *progressPath, bool oneLine)
{
    constexpr int kLineBytes = 32;
    constexpr int kBlockLines = 512;
    std::FILE *progress =
        std::string(progressPath) == "-" ? nullptr : std::fopen(progressPath, "w");
    if (!progress && std::string(progressPath) != "-")
        return 2;
    char block[kLineBytes * kBlockLines];
    for (long long written = 0; written * kLineBytes < bytes;) {
        for (int i = 0; i < kBlockLines; ++i) {
            char *line = block + i * kLineBytes;
            std::memcpy(line,
                        oneLine ? "0000000000 flooding the pipe..  "
                                : "0000000000 flooding the pipe..\r\n",
                        kLineBytes);
            for (long long number = written + i + 1, digit = 9; number > 0 && digit >= 0;
                 number /= 10, --digit)
                line[digit] = char('0' + number % 10);
        }
        std::fwrite(block, 1, kLineBytes * kBlockLines, stdout);
        if (std::fflush(stdout) != 0)
            return 1;
        written += kBlockLines;
        if (progress) {
            std::rewind(progress);
            std::fprintf(progress, "%012lld\n", written);
            std::fflush(progress);
        }
    }
    return 0;
}

int ask(int count)
{
    for (int n = 1; n <= count; ++n) {
        std::printf("ask%d? ", n);
        std::fflush(stdout);
        char line[1024];
        if (!std::fgets(line, sizeof line, stdin)) {
            std::fputs("eof\r\n", stdout);
            return 0;
        }
        line[std::strcspn(line, "\r\n")] = '\0';
        std::printf("got[%s]\r\n", line);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--ask") {
        useBinaryStandardOutput();
        return ask(std::atoi(argv[2]));
    }
    if (argc == 4 &&
        (std::string(argv[1]) == "--flood" || std::string(argv[1]) == "--flood-line")) {
        useBinaryStandardOutput();
        return flood(std::atoll(argv[2]), argv[3], std::string(argv[1]) == "--flood-line");
    }
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
