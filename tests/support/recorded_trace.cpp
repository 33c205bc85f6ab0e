#include "tests/support/recorded_trace.h"

#include "platform/trace/trace_output.h"

namespace {

std::string& trace_text() {
    static std::string text;
    return text;
}

} // namespace

void trace_write(const char* line, size_t length) { trace_text().append(line, length); }

std::vector<std::string> recorded_trace() {
    std::vector<std::string> lines;
    const std::string& text = trace_text();
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

void clear_recorded_trace() { trace_text().clear(); }
