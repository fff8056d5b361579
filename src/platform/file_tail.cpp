#include "platform/subprocess.h"

#include <fstream>
#include <sstream>

std::string tail_of_file(const std::string& path, int lines)
{
    std::ifstream in(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    std::ostringstream out;
    size_t from = all.size() > static_cast<size_t>(lines) ? all.size() - lines : 0;
    for (size_t i = from; i < all.size(); i++)
        out << "  " << all[i] << "\n";
    return out.str();
}
