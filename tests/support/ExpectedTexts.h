#pragma once
// The program's translated texts as the tests expect them, German and English side by side.
#include "TestSupport.h"
#include "ToolEndMarker.h"

#include <string>
#include <vector>

namespace pgtest {

struct Localized
{
    const char* german;
    const char* english;
};

// The text in the language this run expects.
inline std::string Expected(const Localized& text)
{
    return ExpectGerman() ? text.german : text.english;
}

// Main window
inline constexpr Localized CLOSE{"&Schliessen", "&Close"};
inline constexpr Localized INPUT_LABEL{"Quelldatei:", "Input Filename:"};
inline constexpr Localized OUTPUT_LABEL{"Zieldatei:", "Output Filename :"};
inline constexpr Localized START_FRAME_LABEL{"Startframe:", "Startframe"};
inline constexpr Localized FRAME_COUNT_LABEL{"Anzahl Frames:", "No of frames:"};
inline constexpr Localized IF_KNOWN_LABEL{"Falls bekannt:", "If known:"};
inline constexpr Localized WIDTH_LABEL{"Breite:", "Width:"};
inline constexpr Localized HEIGHT_LABEL{"H\xf6he:", "Height:"};
inline constexpr Localized GO{"&Los", "&Go"};
inline constexpr Localized DEFAULT_TEMP_DIR{"C:\\Programme\\eDonkey2000\\temp\\",
                                            "C:\\Program Files\\eDonkey2000\\temp\\"};
inline constexpr Localized ABOUT_ITEM{"Inf&o \xfc"
                                      "ber Decoyrun...",
                                      "Inf&o about Partglance..."};

// The download list's column headings, first to last.
inline std::vector<std::string> ExpectedColumnHeadings()
{
    return {Expected({"Filmname", "Filename"}), Expected({"% geladen", "% recieved"}),
            Expected({"Gr\xf6sse", "Size"}), Expected({"Partname", "Partfile"})};
}

// Choosers
inline constexpr Localized INPUT_DIALOG_TITLE{"W\xe4hlen Sie eine Partdatei des Esels aus...",
                                              "Choose the partfile of the donkey..."};
inline constexpr Localized OUTPUT_DIALOG_TITLE{"W\xe4hlen Sie ein  Avi aus...", "Choose the avifile..."};
inline constexpr Localized TEMP_DIR_BROWSE_TITLE{"W\xe4hlen Sie das eDonkey2000 Temp-Verzeichnis aus:",
                                                 "Choose the eDonkey2000 Temp-Dir:"};

// Output window; the end marker is the preview tool's last line, as both programs define it.
inline constexpr char END_MARKER[] = TOOL_END_MARKER;
inline constexpr Localized OUTPUT_TITLE{"Clipmend - Ausgabe", "Clipmend - Output"};
inline constexpr Localized OUTPUT_CANCEL{"&Abbrechen", "&Cancel"};
inline constexpr Localized OUTPUT_CLOSE_AND_PLAY{"&Schliessen && Wiedergeben", "Close and &Play"};
inline constexpr Localized OUTPUT_WAITING{"Warte auf Kontakt zu Clipmend...", "Working..."};
inline constexpr Localized OUTPUT_END_TEXT{"Clipmend ist beendet.", "Clipmend is closed."};

// Playback messages; the one without a program follows "Sorry, <file>".
inline constexpr Localized CANNOT_PLAY{"Sorry, das Movie kann nicht mit dieser Funktion gezeigt werden!",
                                       "Sorry, the movie could not be played!"};
inline constexpr Localized PLAY_NO_PROGRAM{
    " kann nicht wiedergegeben werden: Kein Programm ist f\xFC"
    "r diese Art Datei eingetragen.",
    " could not be played: No program is registered for this kind of file."};

} // namespace pgtest
