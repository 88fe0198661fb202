// velkbankmaker: turns instrument definitions as text into an AdLib bank.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/bankmaker/bank_text.h"
#include "tools/bankmaker/bank_writer.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: velkbankmaker DEFINITIONS.txt OUT.bnk\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "velkbankmaker: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const velk::bank::ParsedBank bank = velk::bank::parseBankText(text.str());
    if (!bank.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], bank.error.c_str());
        return 1;
    }
    const velk::Bytes bytes = velk::bank::writeBank(bank.instruments);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "velkbankmaker: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
