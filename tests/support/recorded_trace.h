#pragma once
#include <string>
#include <vector>

// The unit tests link this in place of the dry-run program's stderr writer: the
// trace backend's lines are kept, so a test compares exactly the text the
// dry-run program would print.

/// The lines traced since the last clear, without their line feeds.
std::vector<std::string> recorded_trace();
void clear_recorded_trace();
