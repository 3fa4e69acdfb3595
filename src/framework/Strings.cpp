#include "framework/Strings.h"

#include "framework/Application.h"
#include "framework/Language.h"

namespace pg {

std::string LoadTranslated(unsigned baseId)
{
    return fw::LoadText(baseId + LanguageOffset);
}

} // namespace pg
