// Fits the scorer's logistic regression to rows read from standard input, for comparison with
// a reference implementation (logistic_reference_test.py). Input: the ridge penalty on the
// first line, then one row per line: the label (0 or 1) and the features, separated by blanks.
// Output: the intercept and the coefficients of the standardised features, one per line,
// followed by the Newton steps taken.
#include "scorer/learn/logistic_model.hpp"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main() {
    double ridge = 0;
    std::string line;
    if (!std::getline(std::cin, line) || !(std::istringstream(line) >> ridge)) {
        std::cerr << "fit_logistic_tool: the first line must hold the ridge penalty\n";
        return 2;
    }
    std::vector<double> rows;
    std::vector<unsigned char> labels;
    std::size_t width = 0;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        int label = 0;
        if (!(fields >> label)) continue;
        std::size_t count = 0;
        for (double value = 0; fields >> value; ++count) rows.push_back(value);
        if (width == 0) width = count;
        if (count != width || (label != 0 && label != 1)) {
            std::cerr << "fit_logistic_tool: malformed row: " << line << "\n";
            return 2;
        }
        labels.push_back(static_cast<unsigned char>(label));
    }
    const vornel::logistic_model model = vornel::fit_logistic(rows, width, labels, ridge);
    for (const double c : model.coefficients) {
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, c).ptr;
        std::cout << std::string(buffer, end) << "\n";
    }
    std::cout << model.iterations << "\n";
    return 0;
}
