#include "platform/partial_file.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/output_files.h"
#include "platform/partial_file_detail.h"

namespace fs = std::filesystem;

namespace partial_file_detail {

const std::string kPartialPrefix = ".stream8-partial-";

std::string directory_of(const std::string& path)
{
    const std::string dir = fs::path(path).parent_path().string();
    return dir.empty() ? "." : dir;
}

std::string stream_scratch_directory()
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? std::string(".") : temp.string();
}

bool made_name(const std::string& name, const std::string& prefix)
{
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); i++)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

}  // namespace partial_file_detail

using namespace partial_file_detail;

PartialFile::~PartialFile()
{
    abandon();
}

bool PartialFile::take_target(const std::string& path, std::string& error)
{
    path_ = path;
    stream_ = output_files::is_stream(path);
    const std::string refusal = stream_ ? std::string() : output_files::output_refusal(path);
    if (refusal.empty())
        return true;
    error = "cannot write " + path + ": " + refusal;
    errno = EPERM;
    return false;
}

bool PartialFile::commit_stream(std::string& error)
{
    const bool copied = output_files::copy_to_stream(temp_, path_);
    if (!copied)
        error = "cannot write " + path_ + ": " + std::strerror(errno);
    abandon();
    return copied;
}

LockedDirectory::~LockedDirectory()
{
    remove();
}

void remove_unlocked_leftovers(const std::string& dir, const std::string& prefix,
                               std::vector<std::string>& removed)
{
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string(), path = it->path().string();
        const bool file = made_name(name, kPartialPrefix);
        if (!file && (prefix.empty() || !made_name(name, prefix)))
            continue;
        if (remove_if_unlocked(path, file))
            removed.push_back(path);
    }
}
