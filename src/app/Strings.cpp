#include "app/Strings.h"

#include "app/Language.h"
#include "framework/Application.h"

namespace pg {

std::string LoadTranslated(unsigned baseId)
{
    return fw::LoadText(baseId + LanguageOffset);
}

} // namespace pg
