#pragma once
// The name the output is written under. A player picks its way of reading a file by the
// name's extension, so a file never goes out under an extension of another kind of file.
#include <string>
#include <vector>

namespace pg::clipmend {

// requested as given; own: the extensions that suit what is written, the usual one first;
// known: the extensions of every container. An extension of another container is replaced
// by the usual one, or simply dropped where the name before it already suits ("film.mkv.avi"
// becomes "film.mkv"); other names stand as given. Extensions compare without regard to case.
std::string OutputName(const std::string& requested, const std::vector<std::string>& own,
                       const std::vector<std::string>& known);

} // namespace pg::clipmend
