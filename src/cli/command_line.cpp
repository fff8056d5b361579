#include "cli/command_line.h"

#include <getopt.h>

#include <cstdio>

namespace cli {

namespace {

// "--name" of the long option whose value is `id`, or "" when the table has none.
std::string long_name(const option* options, int id)
{
    for (const option* o = options; o->name; o++)
        if (o->val == id)
            return std::string("--") + o->name;
    return "";
}

}  // namespace

std::string getopt_fault(int id, const option* options, char* const* argv, int word)
{
    const std::string name = long_name(options, optopt);
    const std::string given = argv[word];
    if (id == ':')
        return (name.empty() ? "-" + std::string(1, static_cast<char>(optopt)) : name) +
               " needs a value";
    // A known long option given a value it does not take, or a word that is no option of ours.
    if (!name.empty() && given.rfind("--", 0) == 0)
        return name + " takes no value";
    return "unknown option '" + given + "'";
}

std::string stray_word(const char* word)
{
    return "unexpected argument '" + std::string(word) + "'";
}

int usage_fault(const char* program, const std::string& what)
{
    std::fprintf(stderr, "%s: %s (try --help)\n", program, what.c_str());
    return kUsageStatus;
}

}  // namespace cli
