#pragma once

#include <string>
#include <vector>

namespace quillon::bench {

// One measured figure beside its reference, measured in the same run.
struct BenchRow {
    std::string measure;
    double value = 0;
    std::string reference;
    double referenceValue = 0;
    double ratio = 0; // value / reference in the sense the target states
    std::string target;
    bool met = false;
    std::string note;
    bool informational = false; // a reference figure of its own, with no target
};

class BenchTable {
public:
    void add(BenchRow row) { m_rows.push_back(std::move(row)); }
    const std::vector<BenchRow>& rows() const { return m_rows; }
    // The rows as a markdown table; without the header, rows to append to another table.
    std::string markdown(bool withHeader = true) const;

private:
    std::vector<BenchRow> m_rows;
};

// Locale-free fixed-point text with `decimals` digits after the point.
std::string FormatNumber(double value, int decimals);

} // namespace quillon::bench
