#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace invexa {

// The invexa tool: runs the administrator's core headless. args excludes the program name. Exit status:
// 0 success, 1 an operation failed (message on err), 2 a usage error.
int RunInvexa(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
              bool terminal = false);

} // namespace invexa
