#include "app/Language.h"

namespace pg {

int LanguageOffset = 0;

} // namespace pg
