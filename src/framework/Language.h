#pragma once
// Language of the user-interface texts: German string ids 101..131, English ones 300 higher.

namespace pg {

constexpr int LOCALE_GERMAN_GERMANY = 1031;
constexpr int ENGLISH_STRING_OFFSET = 300;

// Added to every translatable string id; 0 or 300, set once the main window initialises.
extern int LanguageOffset;

// Only German as used in Germany gets the German texts; every other locale gets English.
constexpr int LanguageOffsetForLocale(unsigned long localeId)
{
    return localeId == LOCALE_GERMAN_GERMANY ? 0 : ENGLISH_STRING_OFFSET;
}

} // namespace pg
