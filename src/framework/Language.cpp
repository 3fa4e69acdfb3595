#include "framework/Language.h"

namespace pg {

int LanguageOffset = 0;

} // namespace pg
