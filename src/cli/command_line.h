// The command-line faults of the programs (stream8, stream8-record, stream8-bench), worded alike:
// one line on standard error, "PROGRAM: WHAT (try --help)", and status 2. Each program reads its
// options with getopt_long (opterr = 0, so getopt itself prints nothing) and words its own faults
// of values; these helpers word the rest.
#pragma once
#include <string>

struct option;

namespace cli {

// The status a program ends with on a command-line fault.
constexpr int kUsageStatus = 2;

// What getopt_long's fault `id` (':' a value missing, '?' anything else) means for the word
// argv[word] it was reading, where `options` is its table and optopt the option it names:
// "--scale needs a value", "--compare takes no value" or "unknown option '--frobnicate'".
std::string getopt_fault(int id, const option* options, char* const* argv, int word);

// A word left after the options: "unexpected argument 'WORD'".
std::string stray_word(const char* word);

// Reports a command-line fault, "PROGRAM: WHAT (try --help)", on standard error. Returns
// kUsageStatus.
int usage_fault(const char* program, const std::string& what);

}  // namespace cli
