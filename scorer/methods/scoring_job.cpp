#include "scorer/methods/scoring_job.hpp"

#include "scorer/parallel/processors.hpp"

namespace vornel {

scoring_job make_scoring_job(const network& net, const listed_pairs* listed, long long iterations, unsigned threads) {
    scoring_job job;
    job.net = &net;
    job.listed = listed;
    job.rounds = static_cast<int>(std::clamp(iterations, 1LL, max_rounds));
    job.threads = threads_for_rows(threads, net.protein_count());
    return job;
}

} // namespace vornel
