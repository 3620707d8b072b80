// Writes a small damaged file to try Korbelt on: a few repeated bytes after CR LF '-' and
// one MIME wrapper left inside the data.
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korbelt-sample FILE\n");
        return 2;
    }
    std::vector<unsigned char> data(64 * 1024);
    unsigned state = 12345;
    for (auto& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(32 + (state >> 16) % 90);  // printable, never CR
        if (&byte != data.data() && byte == *(&byte - 1)) {
            byte = static_cast<unsigned char>(byte == 121 ? 32 : byte + 1);
        }
    }
    // Three repeated bytes, each 41 characters after the CR of a CR LF '-'.
    for (const std::size_t at : {1000u, 20000u, 40000u}) {
        data[at] = 13;
        data[at + 1] = 10;
        data[at + 2] = '-';
        data[at + 41] = data[at + 42] = 'X';
    }
    // A wrapper: CR CR LF, a boundary of dashes, two header lines.
    const std::string wrapper =
        "\r\r\n------------------------------7d31a435d08\r\n"
        "Content-Type: application/octet-stream\r\n\r\n";
    std::copy(wrapper.begin(), wrapper.end(), data.begin() + 50000);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(data.data(), 1, data.size(), out) != data.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
