#pragma once

#include "scorer/network.hpp"
#include "scorer/row_engine.hpp"

#include <cstdint>
#include <string>

namespace vornel {

// An output file written under a temporary name in the same directory and renamed into place
// by commit(), so a failed run never leaves a partial file under the final name.
class output_file {
public:
    // Creates the temporary file; on failure error() says what went wrong.
    explicit output_file(std::string path);
    // Removes the temporary file unless commit() succeeded.
    ~output_file();
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    // Writes all bytes; returns false (and sets error()) on a failed write.
    bool write(const char* data, std::size_t size);
    // Closes the file and renames it to the final name; returns false (and sets error()) on failure.
    bool commit();

private:
    std::string path_;
    std::string temporary_path_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
    std::string error_;
};

// Where the identifiers of a record's pair come from: the network's ids for candidates, the
// listed pair in its first orientation otherwise.
struct pair_naming {
    const network* net = nullptr;
    const listed_pairs* listed = nullptr;
};

// Writes every record of the runs, best first, as "A<TAB>B<TAB>score\n" with the shortest
// decimal form that reads back to the same double. The runs are reordered in place (radix
// partition by score, then sorted pieces); sorting and formatting are spread over `threads`
// threads while the calling thread writes, in order. `records_per_segment` caps the size of the
// independently sorted pieces (smaller outputs get smaller pieces; tests make it small). Returns false when a write fails
// (out.error() says why).
bool write_sorted_records(record_runs& runs, const pair_naming& naming, unsigned threads,
                          output_file& out, std::size_t records_per_segment = std::size_t{1} << 18);

}  // namespace vornel
