// Registry key paths as the agent writes them: "SOFTWARE\\NVXAgents\\...\\RegAgent Parameter".
#pragma once

#include <string>
#include <vector>

namespace os::posix {

// Splits `path` at backslashes into key names. Empty names, from doubled, leading or trailing
// backslashes, are dropped, so "A\\\\B\\" names the same key as "A\\B". False when a name is
// longer than the 255 characters Windows allows, or the path names no key at all.
bool SplitKeyPath(const char* path, std::vector<std::string>* names);
// The canonical path of the first `count` names: joined with single backslashes.
std::string JoinKeyPath(const std::vector<std::string>& names, std::size_t count);

}  // namespace os::posix
