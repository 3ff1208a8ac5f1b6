// Writes a scored-pair file for the benchmarks to standard output: <count> lines
// "PRT<7 digits> PRT<7 digits> <score with 6 decimals>", scores uniform in [0, 1), reproducible
// from <seed>.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::uint64_t next_random(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

char* put_digits(char* out, std::uint64_t value, int digits)
{
    for (int i = digits - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    return out + digits;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <count> <seed>\n", argv[0]);
        return 2;
    }
    const long long count = std::atoll(argv[1]);
    std::uint64_t state = std::strtoull(argv[2], nullptr, 10);
    constexpr std::size_t buffer_size = 1 << 20;
    const auto buffer = std::make_unique<char[]>(buffer_size);
    char* out = buffer.get();
    for (long long i = 0; i < count; ++i) {
        if (out - buffer.get() > static_cast<std::ptrdiff_t>(buffer_size - 64)) {
            std::fwrite(buffer.get(), 1, static_cast<std::size_t>(out - buffer.get()), stdout);
            out = buffer.get();
        }
        for (int protein = 0; protein < 2; ++protein) {
            *out++ = 'P';
            *out++ = 'R';
            *out++ = 'T';
            out = put_digits(out, next_random(state) % 10000000, 7);
            *out++ = ' ';
        }
        *out++ = '0';
        *out++ = '.';
        out = put_digits(out, next_random(state) % 1000000, 6);
        *out++ = '\n';
    }
    std::fwrite(buffer.get(), 1, static_cast<std::size_t>(out - buffer.get()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
