#pragma once
// Loading the translatable texts of the string table in the chosen language.
#include <string>

namespace pg {

// The text of a German string id (101..131) in the language of this run.
std::string LoadTranslated(unsigned baseId);

} // namespace pg
