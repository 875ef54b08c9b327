#pragma once
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace invexa {

// The invexa tool: runs the administrator's core headless. args excludes the program name. Exit status:
// 0 success, 1 an operation failed (message on err), 2 a usage error.
int RunInvexa(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, bool terminal = false);

// A text argument as the commands take it: typed UTF-8 becomes the scanners' 8-bit text when every character
// has a byte there (as the merge takes file names); anything else is kept byte for byte.
std::string AsTyped(const std::string &arg);
// Text arguments reach their command exactly as typed: one plain text option per word, so that nothing splits
// them at commas or takes brackets off (as a list option would). Each word given is appended to words; the
// first required ones must be given.
void AddTexts(CLI::App *command, std::vector<std::string> &words, std::initializer_list<const char *> names,
              std::size_t required, const std::string &description = "");

} // namespace invexa
