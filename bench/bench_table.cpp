#include "bench_table.h"

#include <charconv>

namespace quillon::bench {

std::string FormatNumber(double value, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string BenchTable::markdown(bool withHeader) const {
    std::string text;
    if (withHeader)
        text = "| measure | value | reference | reference value | ratio | target | met | note |\n"
               "|---|---:|---|---:|---:|---|---|---|\n";
    for (const BenchRow& row : m_rows) {
        text += "| " + row.measure + " | " + FormatNumber(row.value, 3) + " | " + row.reference +
                " | " + FormatNumber(row.referenceValue, 3) + " | " + FormatNumber(row.ratio, 3) +
                " | " + row.target + " | " +
                (row.informational ? "—"
                 : row.met         ? "yes"
                                   : "**no**") +
                " | " + row.note + " |\n";
    }
    return text;
}

} // namespace quillon::bench
