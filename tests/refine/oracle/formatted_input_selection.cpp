#include "formatted_input_selection.hpp"

#include <memory>

namespace ppi::oracle {

namespace {
constexpr int token_capacity = 1 << 16;
}

void select_scored_ppis(double threshold, const char* output_file, std::FILE* scored,
                        std::FILE* console)
{
    std::FILE* output = std::fopen(output_file, "a+");
    if (output == nullptr) {
        std::fprintf(console, "Error: cannot open file %s for write\n", output_file);
        std::fclose(scored);
        return;
    }
    const auto protein_a = std::make_unique<char[]>(token_capacity);
    const auto protein_b = std::make_unique<char[]>(token_capacity);
    long long read_count = 0;
    long long kept_count = 0;
    double last_kept_score = 0.0;
    double score = 0.0;

    std::fscanf(scored, "%65535s", protein_a.get());
    while (!std::feof(scored)) {
        std::fscanf(scored, "%65535s", protein_b.get());
        std::fscanf(scored, "%lf", &score);
        if (threshold > 1) {
            if (static_cast<double>(kept_count) >= threshold) break;
            std::fprintf(output, "%s\t%s\t%.2E\n", protein_a.get(), protein_b.get(), score);
            last_kept_score = score;
            ++kept_count;
        } else if (score >= threshold) {
            std::fprintf(output, "%s\t%s\t%.2E\n", protein_a.get(), protein_b.get(), score);
            ++kept_count;
        }
        ++read_count;
        std::fscanf(scored, "%65535s", protein_a.get());
    }
    std::fclose(scored);
    std::fclose(output);

    std::fprintf(console, "\n#PPIs with non-zero score: %lld\n", read_count);
    if (threshold > 1) {
        std::fprintf(console, "Minimum score of top %lld PPIs: %.4f\n\n", kept_count, last_kept_score);
    } else {
        std::fprintf(console, "#PPIs selected with score>=%.2f: %lld\n\n", threshold, kept_count);
    }
}

}  // namespace ppi::oracle
