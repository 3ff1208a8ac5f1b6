// Decompression speed of the three gzip libraries considered for the input layer, on one
// .gz file held in memory: zlib and ISA-L's igzip streaming into a 256 KiB buffer (as the
// block reader does), libdeflate decompressing the whole file at once (it has no streaming
// interface). Prints the best of five runs of each as MB/s of decompressed text.
//   inflate_compare FILE.gz
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::size_t out_block = std::size_t{1} << 18;

std::size_t with_zlib(const std::string& in)
{
    z_stream z{};
    inflateInit2(&z, 16 + MAX_WBITS);
    std::vector<unsigned char> out(out_block);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    std::size_t total = 0;
    for (;;) {
        z.next_out = out.data();
        z.avail_out = out_block;
        const int status = inflate(&z, Z_NO_FLUSH);
        total += out_block - z.avail_out;
        if (status == Z_STREAM_END) {
            if (z.avail_in == 0) break;
            inflateReset(&z);
        } else if (status != Z_OK) {
            std::fprintf(stderr, "zlib failed\n");
            break;
        }
    }
    inflateEnd(&z);
    return total;
}

std::size_t with_isal(const std::string& in)
{
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP;
    std::vector<unsigned char> out(out_block);
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    state.avail_in = static_cast<std::uint32_t>(in.size());
    std::size_t total = 0;
    for (;;) {
        state.next_out = out.data();
        state.avail_out = out_block;
        if (isal_inflate(&state) != ISAL_DECOMP_OK) {
            std::fprintf(stderr, "isal failed\n");
            break;
        }
        total += out_block - state.avail_out;
        if (state.block_state == ISAL_BLOCK_FINISH) {
            if (state.avail_in == 0) break;
            std::uint8_t* next = state.next_in;
            const std::uint32_t left = state.avail_in;
            isal_inflate_reset(&state);
            state.crc_flag = ISAL_GZIP;
            state.next_in = next;
            state.avail_in = left;
        }
    }
    return total;
}

std::size_t with_libdeflate(const std::string& in)
{
    // The size of the last member's text, from its trailer (files under 4 GiB, one member).
    const auto* tail = reinterpret_cast<const unsigned char*>(in.data() + in.size() - 4);
    const std::size_t size = tail[0] | tail[1] << 8 | tail[2] << 16 | std::size_t{tail[3]} << 24;
    std::vector<char> out(size);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t got = 0;
    if (libdeflate_gzip_decompress(d, in.data(), in.size(), out.data(), out.size(), &got) != LIBDEFLATE_SUCCESS) {
        std::fprintf(stderr, "libdeflate failed\n");
    }
    libdeflate_free_decompressor(d);
    return got;
}

template <class Fn>
void report(const char* name, const std::string& in, Fn fn)
{
    double best = 1e9;
    std::size_t bytes = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        bytes = fn(in);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%-28s %8.1f MB/s  (%zu bytes in %.3f s)\n", name, bytes / best / 1e6, bytes, best);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.gz\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string in((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    report("zlib (streaming)", in, with_zlib);
    report("isa-l igzip (streaming)", in, with_isal);
    report("libdeflate (whole file)", in, with_libdeflate);
    return 0;
}
